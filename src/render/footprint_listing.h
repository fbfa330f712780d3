// Making a wound's footprint and listing its texels as the wound's reach grows: the
// triangles and layers it can ever reach, and each texel's age-free part (texel_amount).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "render/wound_footprint.h"

// Footprints index their keys, triangles and texel coordinates in 16 bits.
constexpr size_t kMostIndices = std::numeric_limits<uint16_t>::max();

// The ages a footprint lists its texels for grow in steps, each half as long again as the
// one before and a quarter second more, so that a wound is extended a handful of times in
// its life rather than at every repaint.
constexpr float kStageGrowth = 1.5f, kStageStep = 0.25f;

// The age the next stage lists texels up to, for a painting at age (at most flowTime but
// never below age).
float NextCoveredAge(float covered, float age, float flowTime);

// A new footprint in the snapshot's pose: the layers the wound's reach crosses by the time
// it stops flowing and the triangles it may paint; false for a wound it cannot hold.
bool MakeFootprint(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                   const PosedWound& pose, SnapshotBounds& bounds, uint32_t poseVersion,
                   WoundFootprint& fp);

// Lists the texels of every triangle in reach at age that are not listed yet; returns the
// number of texels visited.
size_t Extend(const BloodConfig& config, const Wound& wound, WoundFootprint& fp, float age);

// The index of the lowest bit set in bits (not 0).
inline int LowestBit(uint32_t bits) {
  int i = 0;
  while (!(bits & 1u)) {
    bits >>= 1;
    ++i;
  }
  return i;
}
