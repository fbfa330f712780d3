// Placeholder until aim rays land.
#include "damage/aim_rays.h"
void GetAimRays(HostPed*, AimRays&) {}
Vec3 GetBonePosition(HostPed*, int32_t) { return {0, 0, 0}; }
