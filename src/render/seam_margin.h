// The seam margin: blood carried a few texels past the edges of the UV islands, so that
// texture filtering along an island's edge blends blood with blood, not with the empty
// texels beyond it, and the blood does not stop in a hard, dark line at the seam.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "blood/texel_coverage.h"

// Raises each texel of layer's mask that coverage leaves out, whose Chebyshev distance d
// to the nearest covered texel (columns and rows wrapping) is 1 ... margin and that lies
// within region (mask texels) grown by margin, to the largest amount of the covered
// texels at distance d, when that is more: no covered texel is nearer, so those are all
// the covered texels within d. Covered texels are only read. A texel that rises grows
// layer.changed and marks the layer dirty. Returns whether any rose. Nothing happens for a
// margin below 1, an empty region, or a coverage not of the mask's size; margins above
// kMaxSeamMargin count as kMaxSeamMargin.
bool FillSeamMargin(MaskLayer& layer, const TexelCoverage& coverage, const TexelRect& region,
                    int32_t margin);
