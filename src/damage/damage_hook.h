// Entry of every damage-driven wound: the handler behind the damage hook.
#pragma once

#include <cstdint>

#include "damage/wound_profile.h"
#include "host/host_types.h"

void HandlePedDamage(HostDamage* record, HostEntity* entity);
bool AddBodyWound(HostPed* ped, int32_t piece, Vec3 source, const WoundProfile& profile,
                  const char* tag);
