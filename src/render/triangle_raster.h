// Rasterising one posed triangle into a blood mask: every texel the triangle covers in
// texture space takes the stamp's amount at its point on the posed surface (texel_amount),
// where that raises its byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "blood/blood_records.h"

// Rasterises one triangle into layer's mask (2 * MaskSize x MaskSize, wrapping at the
// edges); true when at least one texel was written. False, writing nothing, for bleed <= 0
// (or NaN), a texture-space area below 0.0001 texel^2, texel bounds wider than twice the
// mask, non-finite coordinates, or a mask whose size is not 2 * maskSize^2 bytes.
bool PaintTriangle(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
                   const TexCoord coordinates[3], const WoundStamp& stamp);

// PaintTriangle for the parts of the stamp in parts (see ReachingParts); visits grows by
// the number of texels looked at.
bool PaintTriangleParts(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
                        const TexCoord coordinates[3], const WoundStamp& stamp, uint32_t parts,
                        size_t& visits);
