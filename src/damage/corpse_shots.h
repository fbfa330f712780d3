// The player's shots wound dead peds close to the aim ray.
#pragma once

#include <cstdint>

#include "host/host_types.h"

void ShootCorpses(HostPed* shooter, int32_t code, int32_t count);
