// Entry of every damage-driven wound: the handler behind the damage hook.
#pragma once

#include <cstdint>

#include "damage/damage_context.h"
#include "host/host_types.h"

// Turns one host damage event into wound requests. Drops null records, non-peds, repeats
// within the weapon's window (recorded in the hit history) and non-bullet events without
// damage; aimed player bullets go along the aim or view segment, explosions and falls to
// their handlers, everything else to a body wound. Takes draws from the shared generator.
void HandlePedDamage(const DamageContext& ctx, HostDamage* record, HostEntity* entity);
// One wound on the bone chosen from piece, on a 1.4 m segment through a point near the
// bone that enters from source's side; may snap to the mesh. Returns AddWound's result.
bool AddBodyWound(const WoundContext& ctx, HostPed* ped, int32_t piece, Vec3 source,
                  const WoundProfile& profile, const char* tag);
