// The player's aim segment and the camera's view segment, and bone positions of peds.
#pragma once

#include "host/host_types.h"

struct AimRays {
  Vec3 aimStart, aimEnd, viewStart, viewEnd;
};

// Callers pass all four points set to zero.
void GetAimRays(HostPed* shooter, AimRays& rays);
// World position of bone boneId of ped, from the skin hierarchy or the host's query.
Vec3 GetBonePosition(HostPed* ped, int32_t boneId);
