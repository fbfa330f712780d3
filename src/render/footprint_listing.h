// Making a wound's footprint and listing its texels as the wound's reach grows: the
// triangles and layers it can ever reach, and each texel's age-free part (texel_amount).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "render/footprint_culls.h"
#include "render/wound_footprint.h"

// Footprints index their keys, triangles and texel coordinates in 16 bits.
constexpr size_t kMostIndices = std::numeric_limits<uint16_t>::max();

// A new footprint in the snapshot's pose: the layers the wound's reach crosses by the time
// it stops flowing and the triangles it may paint; false for a wound it cannot hold.
bool MakeFootprint(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                   const PosedWound& pose, SnapshotBounds& bounds, uint32_t poseVersion,
                   WoundFootprint& fp);

// A footprint lists a triangle's texels once the wound may reach it: at its first painting
// those that painting may paint, which keeps a hit cheap, and from the next one on every
// texel the wound may ever paint there, each waiting (footprint_culls) until the painting
// that may paint it. Extend lists the texels of the triangles the wound may reach at age
// that are not listed yet for its whole life: those a painting at age may paint among the
// evaluated texels, the others as waiting. Returns its work, in texel evaluations: the
// texels it visited and those it listed. Once workLimit is reached, the triangles left wait
// for the next painting (listingCut), except at the first painting.
size_t Extend(const BloodConfig& config, const Wound& wound, WoundFootprint& fp, float age,
              size_t workLimit = SIZE_MAX);

// About the work Extend at age would take: half the boxes of the triangles it walks are
// visited, and a share of those listed.
size_t ListingWork(const BloodConfig& config, const Wound& wound, const WoundFootprint& fp,
                   float age);
