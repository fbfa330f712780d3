// The seam margin: blood carried a few texels past the edges of the UV islands, so that
// texture filtering along an island's edge blends blood with blood, not with the empty
// texels beyond it, and the blood does not stop in a hard, dark line at the seam.
#pragma once

#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "blood/texel_coverage.h"

constexpr int32_t kSeamBlockShift = 4;  // the margin visits blocks of 16 x 16 texels

// The blocks of a mask near the texels one painting raised: where the margin may change.
// Blocks rather than one rectangle, since a painting may reach both sides of the mask's
// wrapping edges or islands far apart.
struct SeamBlocks {
  int32_t width = 0, height = 0;  // of the mask, texels
  int32_t across = 0, down = 0;   // blocks
  std::vector<uint64_t> bits;     // row after row of blocks; empty until the first mark
};

// Marks the blocks of a width x height mask holding texels of box grown by margin. box is
// in texel coordinates that wrap onto the mask (x1, y1 exclusive), as a triangle's texel
// box is. A mark for another mask size starts the blocks afresh.
void MarkSeamBlocks(SeamBlocks& blocks, int32_t width, int32_t height, const TexelRect& box,
                    int32_t margin);

// Within the marked blocks, raises each texel of layer's mask that coverage leaves out,
// whose Chebyshev distance d to the nearest covered texel (columns and rows wrapping) is
// 1 ... margin, to the largest amount of the covered texels at distance d, when that is
// more: no covered texel is nearer, so those are all the covered texels within d.
// Covered texels are only read. A texel that rises grows layer.changed and marks the layer
// dirty. Returns whether any rose. Nothing happens for a margin below 1, or blocks or a
// coverage not of the mask's size; margins above kMaxSeamMargin count as kMaxSeamMargin.
bool FillSeamMargin(MaskLayer& layer, const TexelCoverage& coverage, const SeamBlocks& blocks,
                    int32_t margin);
