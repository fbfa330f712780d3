// Explosions place wounds on the bones nearest to them; falls wound the lowest bone.
#pragma once

#include <cstdint>

#include "host/host_types.h"
#include "wounds/wound_context.h"

// Three large wounds on the three bones nearest point and three small ones on random
// farther bones, scaled by nearness; adds 1 / MaxExplosionWounds to the ped's bloodLoss
// (also when it has bled out, which places nothing). Creates the ped's blood state.
void HandleExplosionDamage(const WoundContext& ctx, HostPed* ped, Vec3 point, const char* tag);
// One wound near bone on a 1.4 m segment along the line from source; may snap to the mesh.
// Returns AddWound's result.
bool AddExplosionWound(const WoundContext& ctx, HostPed* ped, int32_t bone, Vec3 source,
                       const WoundProfile& profile, const char* tag, float lossIncrement,
                       float bleed);
// One vertical wound at the ped's lowest bone, spending 1 / MaxFallWounds of its blood;
// nothing at all when the lowest bone is a foot (43 or 53).
void HandleFallDamage(const WoundContext& ctx, HostPed* ped, const char* tag);
