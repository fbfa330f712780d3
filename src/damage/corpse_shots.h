// The player's shots wound dead peds close to the aim ray.
#pragma once

#include <cstdint>

#include "damage/damage_context.h"
#include "host/host_types.h"

// For count shots of weapon code by shooter: finds the dead peds with a render object
// within 150 m along and 2 m beside the aim ray that were not damaged in the last 150 ms,
// logs the shot line, and gives each pellet (4 for shotguns, each with its own spread) to
// the nearest of them in clear sight whose mesh the aim or view segment meets.
void ShootCorpses(const DamageContext& ctx, HostPed* shooter, int32_t code, int32_t count);
