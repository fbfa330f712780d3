// The blood one posed wound (WoundStamp) leaves at the point of one texel: the noisy blot
// around its centre line and the drips below it. The rasteriser and the footprint of a
// flowing wound both take their amounts from here, so that they agree bit for bit.
#pragma once

#include <algorithm>
#include <cstdint>

#include "blood/blood_records.h"
#include "render/value_noise.h"

namespace texel_amount {

// The blot's noisy edge lies between kEdgeLow and kEdgeLow + kEdgeCoarse + kEdgeFine
// times R (0.55 R ... 1.3 R), from noise at two frequencies.
constexpr float kEdgeCoarseFrequency = 14.0f, kEdgeCoarse = 0.35f;
constexpr float kEdgeFineFrequency = 60.0f, kEdgeFine = 0.4f;
constexpr float kEdgeLow = 0.55f;
// Within kWholeWithin times the fade's inner share of R the blot is whole whatever the
// noise; from kGoneFrom R on it is gone; beyond kZeroBeyond R it is exactly 0.
constexpr float kWholeWithin = 0.54f, kGoneFrom = 1.31f, kZeroBeyond = 1.35f;
// The blot's density: kDensityLow plus up to kDensitySpread from noise.
constexpr float kDensityFrequency = 140.0f, kDensitySpread = 0.25f, kDensityLow = 0.75f;
// A drip's width: kDripWidthLow plus up to kDripWidthSpread of its width from noise,
// narrowing by kDripTaper towards its end, which fades over its last kDripFadeStart
// share and swells into a bead (kBead) past kBeadStart.
constexpr float kDripFrequency = 120.0f, kDripWidthSpread = 0.4f, kDripWidthLow = 0.8f;
constexpr float kDripTaper = 0.55f, kDripFadeStart = 0.75f, kBeadStart = 0.8f, kBead = 1.15f;
// The widest noisy drip (kDripWidest widths), with room for rounding: beyond it a drip's
// share stays far below kLeastAmount.
constexpr float kDripWidest = 1.2f;
constexpr float kDripReach = kDripWidest * 1.001f;
// Amounts below this write nothing.
constexpr float kLeastAmount = 0.01f;
// Past this share of the way through an edge's fade, the blot's or a drip's, what is left
// is under kLeastAmount even at the densest blot and on a drip's bead: nothing is written.
constexpr float kFaintFrom = 0.95f;
// A texel's jitter: kJitterLow plus up to kJitterSpread from its hash.
constexpr float kJitterSpread = 0.4f, kJitterLow = 0.8f;

// The point of a texel on the posed triangle p0 p1 p2 from its weights, each clamped to
// at least 0 and all divided by their sum.
inline Vec3 TexelPoint(Vec3 p0, Vec3 p1, Vec3 p2, float w0, float w1, float w2) {
  w0 = std::max(0.0f, w0);
  w1 = std::max(0.0f, w1);
  w2 = std::max(0.0f, w2);
  const float sum = w0 + w1 + w2;
  return p0 * (w0 / sum) + p1 * (w1 / sum) + p2 * (w2 / sum);
}

// q relative to the wound's centre line: its centre, stretched along axis by cut either
// way (a capsule).
inline Vec3 FromCentreLine(Vec3 q, Vec3 centre, Vec3 axis, float cut) {
  Vec3 rel = q - centre;
  if (cut > 0.0f) {
    const float s = std::min(std::max(Dot(rel, axis), -cut), cut);
    rel = rel - axis * s;
  }
  return rel;
}

// Noise factors looked up at a texel's point, each at most once (kUnknown until needed).
constexpr float kUnknown = -1.0f;
struct TexelNoise {
  float edge = kUnknown;     // edge radius over R
  float density = kUnknown;  // blot density
  float drip = kUnknown;     // drip noise
};

// The edge radius over R at q.
inline float EdgeNoiseAt(Vec3 q) {
  using value_noise::NoiseAt;
  return NoiseAt(kEdgeCoarseFrequency, q) * kEdgeCoarse + kEdgeLow +
         NoiseAt(kEdgeFineFrequency, q) * kEdgeFine;
}

// A drip's noisy width over its width at q, before its taper.
inline float DripWidthAt(float dripNoise) { return dripNoise * kDripWidthSpread + kDripWidthLow; }

// The blot's amount at a point q, dist from the wound's centre line (or capsule).
inline float BlotAmount(const WoundStamp& stamp, Vec3 q, float dist, TexelNoise& noise) {
  using namespace value_noise;
  const float radius = stamp.radius, inner = stamp.edgeInner;
  // Where the blot is whole or gone whatever the noise, the edge's lookups are skipped,
  // and the density's where nothing is left.
  float s = 0.0f;
  if (!(radius > 0.0f) || dist > kWholeWithin * inner * radius) {
    s = 1.0f;
    if (!(radius > 0.0f) || dist < kGoneFrom * radius) {
      if (noise.edge == kUnknown) noise.edge = EdgeNoiseAt(q);
      const float edge = noise.edge * radius;
      s = Clamp01((dist - inner * edge) / (edge - inner * edge));
    }
  }
  const float left = 1.0f - Smooth(s);
  if (left == 0.0f) return 0.0f;
  if (noise.density == kUnknown) {
    noise.density = NoiseAt(kDensityFrequency, q) * kDensitySpread + kDensityLow;
  }
  return noise.density * left;
}

// Raises amount to drip i's share at q where the drip reaches it.
inline void AddDrip(const WoundStamp& stamp, int i, Vec3 q, TexelNoise& noise, float& amount) {
  using namespace value_noise;
  const Vec3 r = q - stamp.dripStart[i];
  const float along = Dot(r, stamp.down);
  const float span = stamp.dripSpan[i], width = stamp.dripWidth[i];
  if (along < -width || along > span) return;
  Vec3 perp = r - stamp.down * along;
  perp = perp - stamp.normal * Dot(perp, stamp.normal);
  const float reach = kDripReach * width;
  if (Dot(perp, perp) >= reach * reach) return;
  if (noise.drip == kUnknown) noise.drip = NoiseAt(kDripFrequency, q);
  const float wd =
      DripWidthAt(noise.drip) * (1.0f - std::max(0.0f, along) * kDripTaper / span) * width;
  const float s1 = Clamp01((Sqrt(Dot(perp, perp)) - 0.5f * wd) / (wd - 0.5f * wd));
  const float s2 = Clamp01((along - kDripFadeStart * span) / (span - kDripFadeStart * span));
  float d = (1.0f - Smooth(s1)) * (1.0f - Smooth(s2));
  if (along > kBeadStart * span) d = kBead * d;
  amount = std::max(amount, d);
}

// The share of a drip's width from its middle where its fade leaves nothing (kFaintFrom).
constexpr float FaintAcross() { return 0.5f + 0.5f * kFaintFrom; }

// Whether drip i leaves q alone at every age: q lies beyond where the widest the drip gets
// there fades to nothing (the drip only moves along its run as the wound ages, so q's
// distance across it stays), with room for rounding.
inline bool DripNeverReaches(const WoundStamp& stamp, int i, Vec3 q, TexelNoise& noise) {
  Vec3 perp = q - stamp.dripStart[i];
  perp = perp - stamp.down * Dot(perp, stamp.down);
  perp = perp - stamp.normal * Dot(perp, stamp.normal);
  if (noise.drip == kUnknown) noise.drip = value_noise::NoiseAt(kDripFrequency, q);
  const float widest =
      DripWidthAt(noise.drip) * stamp.dripWidth[i] * FaintAcross() * 1.001f + 1e-5f;
  return Dot(perp, perp) > widest * widest;
}

// The jitter of the texel at (column, row) of a mask.
inline float JitterOf(uint32_t hash) {
  return static_cast<float>(hash) / 65535.0f * kJitterSpread + kJitterLow;
}

// The byte an amount leaves on a texel of that jitter.
inline uint8_t TexelValue(float jitter, float final) {
  return static_cast<uint8_t>(std::min(1.0f, jitter * final) * 255.0f);
}

}  // namespace texel_amount
