// Which texels and triangles a wound may paint up to an age, with room for rounding (the
// culls a footprint lists by), and the ages a listed texel waits for.
#pragma once

#include <cstdint>

#include "render/wound_footprint.h"

// Whole triangles are culled with a margin of a millimetre, far beyond any rounding.
constexpr float kTriangleMargin = 1e-3f;
// Texels are culled with a margin of a few dozen units in the last place of the largest
// coordinate: far more than the rounding between the cull's sums and the painter's.
constexpr float kTexelCullUnits = 64.0f, kTexelCullFloor = 1e-5f;
// Room for rounding in the culls' reach.
constexpr float kReachSlack = 1.001f;
// A listed texel is tested against the wound at ages growing by an eighth and 30 ms up to
// FlowTime, so that a texel the wound reaches only later waits until the painting that may
// reach it.
constexpr float kWakeGrowth = 1.125f, kWakeStep = 0.03f;
constexpr int kMostWakes = 40;

// Which texels any age up to the stamp's may paint, with room for rounding: the blot
// within its widest noisy edge, and each drip's band, stretched up to where it starts on the
// youngest wound (its start moves down as the blot grows).
struct TexelCull {
  float radius, blotReach;
  float edgeInner;  // the share of the blot's noisy edge where it starts to fade
  int32_t dripCount;
  Vec3 dripStart[kMaxDrips];
  float alongLow[kMaxDrips], alongHigh[kMaxDrips], across[kMaxDrips], width[kMaxDrips];
  Vec3 down, side;
};

// The cull of the stamp's age; youngest is the wound's stamp at age 0.
TexelCull CullOf(const WoundStamp& stamp, const WoundStamp& youngest);

// Whether the blot may paint a texel dist from the wound's centre line.
bool BlotMayPaint(const TexelCull& cull, float dist, float margin);

// Whether every point within the triangle's bounding sphere surely passes the blot's cull.
bool WithinBlot(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin);

// Whether no point within the triangle's bounding sphere passes the cull.
bool BeyondCull(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin);

// Bit i set where drip i may paint q.
uint8_t DripsThatMayPaint(const TexelCull& cull, Vec3 q, float margin);

// The culls of one age for each surface kind.
struct AgeCulls {
  TexelCull kinds[kSurfaceKinds];
};

// The culls at age.
AgeCulls CullsAt(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age);

// The wake ages from one painting up to FlowTime, youngest first, each age's culls worked
// out when a texel is first tested against it: most listings test only a few of them.
struct WakeCulls {
  const BloodConfig* config = nullptr;
  const Wound* wound = nullptr;
  const PosedWound* pose = nullptr;
  WoundStamp youngest[kSurfaceKinds];  // the wound's stamps at age 0
  int32_t count = 0;
  bool toTheEnd = false;  // the last is at FlowTime
  float ages[kMostWakes];
  uint64_t made = 0;  // bit k: culls[k] worked out
  AgeCulls culls[kMostWakes];
};
static_assert(kMostWakes <= 64, "a bit for each wake age's culls");

// The wake ages after from; the wound and its pose must outlive the result.
void WakeCullsAfter(const BloodConfig& config, const Wound& wound, const PosedWound& pose,
                    float from, WakeCulls& wakes);

// Whether the blot or a drip may paint the texel at some age up to the cull's: the cull,
// narrowed by the texel's noise (the blot's noisy edge; a drip's noisy width, which only
// widens at a texel as the drip runs on past it) and to where their fades leave more than
// nothing, with room for rounding.
bool MayPaintBy(const TexelCull& cull, FootprintTexel& texel, float margin);

// The latest wake age up to which nothing can paint the texel: -1 when the first may,
// infinity when nothing may up to FlowTime. Any such age will do, so a search that assumes the
// ages' culls nest is safe even where rounding breaks that.
float WaitsUntil(WakeCulls& wakes, int kind, FootprintTexel& texel, float margin);

// The index of the lowest bit set in bits (not 0).
inline int LowestBit(uint32_t bits) {
  int i = 0;
  while (!(bits & 1u)) {
    bits >>= 1;
    ++i;
  }
  return i;
}
