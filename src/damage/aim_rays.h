// The player's aim segment and the camera's view segment, and bone positions of peds.
#pragma once

#include <cstdint>

#include "host/host_game.h"
#include "host/host_types.h"

constexpr float kAimRange = 150.0f;  // metres, both segments

struct AimRays {
  Vec3 aimStart, aimEnd, viewStart, viewEnd;
};

// aimStart..aimEnd from the host's aim-target query for a shooter at its position;
// viewStart..viewEnd from the active camera view's eye along its direction for 150 m.
// Callers pass all four points set to zero.
void GetAimRays(HostGame& host, HostPed* shooter, AimRays& rays);
// World position of bone boneId of ped: the bone matrix of its skin hierarchy when the
// hierarchy has that bone, otherwise the host's own bone-position query.
Vec3 GetBonePosition(HostGame& host, HostPed* ped, int32_t boneId);
