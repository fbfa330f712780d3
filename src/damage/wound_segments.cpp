#include "damage/wound_segments.h"

#include "damage/wound_profile.h"
#include "wounds/wound_placement.h"

namespace {

constexpr float kHalfLength = 0.7f;  // metres
// A bullet comes out where it tore a wider hole than where it went in.
constexpr float kExitRadiusScale = 1.3f;
// A far crossing closer than this to the entry is the bullet grazing the skin, metres.
constexpr float kGrazeDistance = 0.05f;

// The exit wound of a bullet that entered at entry along segment. The search starts a graze
// beyond the entry, so a crossing nearer to it never counts. The hit was accounted at the
// entry: no share of blood loss here.
void AddExitWound(const WoundContext& ctx, HostPed* ped, const Segment& segment,
                  const PlacedWound& entry, WoundProfile profile, const char* tag) {
  const Vec3 d = segment.end - segment.start;
  const float from = entry.t + kGrazeDistance / Length(d);
  if (!(from < 1.0f)) return;
  profile.radius *= kExitRadiusScale;
  const Vec3 start = segment.start + d * from;
  AddWound(ctx, {ped, start, segment.end, profile, tag, {}, 0.0f, entry.bleed, Crossing::kLast});
}

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

bool AddAimOrViewWound(const WoundContext& ctx, HostPed* ped, const AimRays& rays, Vec3 offset,
                       int32_t code, const WoundProfile& profile, const char* tag) {
  const Segment segments[] = {{rays.aimStart, rays.aimEnd + offset},
                              {rays.viewStart, rays.viewEnd + offset}};
  for (const Segment& segment : segments) {
    PlacedWound entry;
    if (!AddWound(ctx, {ped, segment.start, segment.end, profile, tag, {}, {}, {}}, &entry)) {
      continue;
    }
    if (entry.recorded && ctx.config.ExitWounds != 0 && IsPiercingWeapon(code)) {
      AddExitWound(ctx, ped, segment, entry, profile, tag);
    }
    return true;
  }
  return false;
}
