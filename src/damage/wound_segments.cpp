#include "damage/wound_segments.h"

#include "wounds/wound_placement.h"

namespace {

constexpr float kHalfLength = 0.7f;  // metres

}  // namespace

Vec3 JitteredPoint(RandomGenerator& rng, Vec3 centre, float spread) {
  const float u1 = NextRandom(rng);
  const float u2 = NextRandom(rng);
  const float u3 = NextRandom(rng);
  return centre + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * spread;
}

Segment SegmentThrough(Vec3 p, Vec3 direction) {
  Vec3 d = direction;
  const float length = Length(d);
  if (length > 0.0f) d = {d.x / length, d.y / length, d.z / length};
  d = d * kHalfLength;
  return {p - d, p + d};
}

Vec3 ShotgunSpread(RandomGenerator& rng) {
  const float u1 = NextRandom(rng);
  const float u2 = NextRandom(rng);
  const float u3 = NextRandom(rng);
  return {12.0f * (u3 - 0.5f), 12.0f * (u2 - 0.5f), 12.0f * (u1 - 0.5f)};
}

bool AddAimOrViewWound(const BloodContext& ctx, HostPed* ped, const AimRays& rays, Vec3 offset,
                       const WoundProfile& profile, const char* tag) {
  return AddWound(ctx, {ped, rays.aimStart, rays.aimEnd + offset, profile, tag, {}, {}, {}}) ||
         AddWound(ctx, {ped, rays.viewStart, rays.viewEnd + offset, profile, tag, {}, {}, {}});
}
