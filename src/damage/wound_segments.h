// The segments along which damage places its wounds: through a point near a bone, or along
// the player's aim and view.
#pragma once

#include <cstdint>

#include "damage/aim_rays.h"
#include "host/host_types.h"
#include "wounds/wound_context.h"

struct Segment {
  Vec3 start, end;
};

// centre moved by (u3 - 0.5, u2 - 0.5, u1 - 0.5) * spread for three draws u1, u2, u3.
Vec3 JitteredPoint(RandomGenerator& rng, Vec3 centre, float spread);

// The 1.4 m segment through p along direction (used as given when it has no length).
Segment SegmentThrough(Vec3 p, Vec3 direction);

// A shotgun pellet's offset of the segment's end: three draws u1, u2, u3 give
// (12 (u3 - 0.5), 12 (u2 - 0.5), 12 (u1 - 0.5)).
Vec3 ShotgunSpread(RandomGenerator& rng);

// A bullet of weapon code along the aim segment, else along the view segment, each end
// moved by offset; no snapping, the default loss and bleed. True when either placed the
// wound. With ExitWounds on, a piercing weapon's bullet whose segment leaves the ped's mesh
// again, more than a graze beyond the entry wound, also leaves an exit wound at the last
// crossing: the entry's profile 1.3 times wider, its bleed, and no blood loss of its own.
bool AddAimOrViewWound(const WoundContext& ctx, HostPed* ped, const AimRays& rays, Vec3 offset,
                       int32_t code, const WoundProfile& profile, const char* tag);
