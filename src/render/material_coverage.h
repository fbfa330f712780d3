// Where each material of a BloodGeometry can be painted: the TexelCoverage the seam margin
// grows blood out of, made once per geometry copy and material.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "blood/texel_coverage.h"
#include "host/host_types.h"

// Makes coverage the texels of a columns x rows mask that the painter's rasterisation can
// write for some triangle of materialIndex: the same mapping, wrap, refusals and weight
// test. Triangles with a vertex index at or past vertexCount are left out, as the painter
// leaves them out.
void BuildTexelCoverage(const HostTriangle* triangles, int32_t triangleCount,
                        const TexCoord* texCoords, int32_t vertexCount, int32_t materialIndex,
                        int32_t columns, int32_t rows, TexelCoverage& coverage);

// The coverage of materialIndex for geometry's cached BloodGeometry at the configured
// MaskSize, made on first use and kept with the cache entry (a new copy starts without
// any). Null when geometry has no cached copy or the copy lacks texture coordinates. The
// pointer is valid until the next call.
const TexelCoverage* GetTexelCoverage(const BloodContext& ctx, HostGeometry* geometry,
                                      int32_t materialIndex);
