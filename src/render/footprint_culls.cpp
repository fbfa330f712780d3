#include "render/footprint_culls.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/value_noise.h"
#include "render/vector_helpers.h"

using value_noise::Sqrt;

TexelCull CullOf(const WoundStamp& stamp, const WoundStamp& youngest) {
  TexelCull cull;
  cull.radius = stamp.radius;
  cull.edgeInner = stamp.edgeInner;
  cull.blotReach = texel_amount::kGoneFrom * kReachSlack * stamp.radius;
  cull.dripCount = stamp.dripCount;
  cull.down = stamp.down;
  cull.side = stamp.side;
  const float moved = kDripStartBelow * (stamp.radius - youngest.radius) * kReachSlack;
  for (int i = 0; i < stamp.dripCount; ++i) {
    cull.dripStart[i] = stamp.dripStart[i];
    cull.alongLow[i] = -stamp.dripWidth[i] - moved;
    cull.alongHigh[i] = stamp.dripSpan[i];
    cull.across[i] = texel_amount::kDripReach * stamp.dripWidth[i];
    cull.width[i] = stamp.dripWidth[i];
  }
  return cull;
}

bool BlotMayPaint(const TexelCull& cull, float dist, float margin) {
  return dist < cull.blotReach + margin;
}

bool WithinBlot(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin) {
  const Vec3 offset = bound.centre - centre;
  return Sqrt(Dot(offset, offset)) + bound.radius < cull.blotReach - margin;
}

bool BeyondCull(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin) {
  const Vec3 offset = bound.centre - centre;
  if (Sqrt(Dot(offset, offset)) - bound.radius <= cull.blotReach + margin) return false;
  for (int i = 0; i < cull.dripCount; ++i) {
    const Vec3 r = bound.centre - cull.dripStart[i];
    const float along = Dot(r, cull.down);
    if (along + bound.radius >= cull.alongLow[i] - margin &&
        along - bound.radius <= cull.alongHigh[i] + margin &&
        std::fabs(Dot(r, cull.side)) - bound.radius <= cull.across[i] + margin) {
      return false;
    }
  }
  return true;
}

uint8_t DripsThatMayPaint(const TexelCull& cull, Vec3 q, float margin) {
  uint8_t drips = 0;
  for (int i = 0; i < cull.dripCount; ++i) {
    const Vec3 r = q - cull.dripStart[i];
    const float along = Dot(r, cull.down);
    if (along >= cull.alongLow[i] - margin && along <= cull.alongHigh[i] + margin &&
        std::fabs(Dot(r, cull.side)) <= cull.across[i] + margin) {
      drips = static_cast<uint8_t>(drips | (1u << i));
    }
  }
  return drips;
}

namespace {

void YoungestOf(const BloodConfig& config, const Wound& wound, const PosedWound& pose,
                WoundStamp* youngest) {
  for (int kind = 0; kind < SurfaceKindsIn(config); ++kind) {
    StampAtAge(config, wound, pose, 0.0f, static_cast<SurfaceKind>(kind), youngest[kind]);
  }
}

AgeCulls CullsFrom(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age,
                   const WoundStamp* youngest) {
  AgeCulls culls;
  for (int kind = 0; kind < SurfaceKindsIn(config); ++kind) {
    WoundStamp stamp;
    StampAtAge(config, wound, pose, age, static_cast<SurfaceKind>(kind), stamp);
    culls.kinds[kind] = CullOf(stamp, youngest[kind]);
  }
  return culls;
}

// The culls of wake age k for kind, worked out on first use.
const TexelCull& WakeCull(WakeCulls& wakes, int32_t k, int kind) {
  if (!(wakes.made >> k & 1u)) {
    wakes.culls[k] =
        CullsFrom(*wakes.config, *wakes.wound, *wakes.pose, wakes.ages[k], wakes.youngest);
    wakes.made |= uint64_t{1} << k;
  }
  return wakes.culls[k].kinds[kind];
}

}  // namespace

AgeCulls CullsAt(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age) {
  WoundStamp youngest[kSurfaceKinds];
  YoungestOf(config, wound, pose, youngest);
  return CullsFrom(config, wound, pose, age, youngest);
}

void WakeCullsAfter(const BloodConfig& config, const Wound& wound, const PosedWound& pose,
                    float from, WakeCulls& wakes) {
  wakes.config = &config;
  wakes.wound = &wound;
  wakes.pose = &pose;
  YoungestOf(config, wound, pose, wakes.youngest);
  wakes.count = 0;
  wakes.toTheEnd = false;
  wakes.made = 0;
  for (float age = 0.0f; wakes.count < kMostWakes && !wakes.toTheEnd;) {
    age = std::min(age * kWakeGrowth + kWakeStep, config.FlowTime);
    wakes.toTheEnd = !(age < config.FlowTime);
    if (age <= from) continue;
    wakes.ages[wakes.count++] = age;
  }
}

bool MayPaintBy(const TexelCull& cull, FootprintTexel& texel, float margin) {
  using namespace texel_amount;
  if (BlotMayPaint(cull, texel.dist, margin)) {
    if (texel.dist < kEdgeLow * cull.radius) return true;
    if (texel.noise.edge == kUnknown) texel.noise.edge = EdgeNoiseAt(texel.q);
    // Nothing is left past kFaintFrom of the way from where the edge starts to fade.
    const float faint = cull.edgeInner + kFaintFrom * (1.0f - cull.edgeInner);
    if (texel.dist < texel.noise.edge * cull.radius * faint * kReachSlack + margin) return true;
  }
  for (uint32_t drips = DripsThatMayPaint(cull, texel.q, margin) & texel.drips; drips != 0;
       drips &= drips - 1) {
    const int i = LowestBit(drips);
    const Vec3 r = texel.q - cull.dripStart[i];
    const float along = std::max(0.0f, Dot(r, cull.down) - margin);
    if (texel.noise.drip == kUnknown)
      texel.noise.drip = value_noise::NoiseAt(kDripFrequency, texel.q);
    const float widest = DripWidthAt(texel.noise.drip) * cull.width[i] *
                         (1.0f - along * kDripTaper / cull.alongHigh[i]);
    if (std::fabs(Dot(r, cull.side)) < widest * FaintAcross() * kReachSlack + margin) return true;
  }
  return false;
}

float WaitsUntil(WakeCulls& wakes, int kind, FootprintTexel& texel, float margin) {
  if (wakes.count == 0 || MayPaintBy(WakeCull(wakes, 0, kind), texel, margin)) return -1.0f;
  int32_t low = 0, high = wakes.count - 1;  // low may not paint; high may
  if (!MayPaintBy(WakeCull(wakes, high, kind), texel, margin)) {
    return wakes.toTheEnd ? std::numeric_limits<float>::infinity() : wakes.ages[high];
  }
  while (high - low > 1) {
    const int32_t mid = (low + high) / 2;
    (MayPaintBy(WakeCull(wakes, mid, kind), texel, margin) ? high : low) = mid;
  }
  return wakes.ages[low];
}
