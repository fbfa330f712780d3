// Explosions place wounds on the bones nearest to them; falls wound the lowest bone.
#pragma once

#include <cstdint>

#include "damage/wound_profile.h"
#include "host/host_types.h"

void HandleExplosionDamage(HostPed* ped, Vec3 point, const char* tag);
bool AddExplosionWound(HostPed* ped, int32_t bone, Vec3 source, const WoundProfile& profile,
                       const char* tag, float lossIncrement, float bleed);
void HandleFallDamage(HostPed* ped, const char* tag);
