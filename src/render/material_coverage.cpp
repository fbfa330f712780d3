#include "render/material_coverage.h"

#include <algorithm>

#include "render/texel_triangle.h"

void BuildTexelCoverage(const HostTriangle* triangles, int32_t triangleCount,
                        const TexCoord* texCoords, int32_t vertexCount, int32_t materialIndex,
                        int32_t columns, int32_t rows, TexelCoverage& coverage) {
  ResetCoverage(coverage, materialIndex, columns, rows);
  if (coverage.bits.empty() || !triangles || !texCoords) return;
  const int32_t limit = std::max(vertexCount, 0);
  for (int32_t t = 0; t < triangleCount; ++t) {
    const HostTriangle& tri = triangles[t];
    if (tri.material != materialIndex || tri.vertex[0] >= limit || tri.vertex[1] >= limit ||
        tri.vertex[2] >= limit) {
      continue;
    }
    const TexCoord coordinates[3] = {texCoords[tri.vertex[0]], texCoords[tri.vertex[1]],
                                     texCoords[tri.vertex[2]]};
    TexelTriangle triangle;
    if (!MapTexelTriangle(coordinates, columns, rows, triangle)) continue;
    for (int32_t y = triangle.beginY; y <= triangle.endY; ++y) {
      const float fy = static_cast<float>(y);
      const int32_t row = WrapTexel(y, rows);
      int32_t first, last;
      triangle.spans.Solve(y, triangle.beginX, triangle.endX, first, last);
      for (int32_t x = first; x <= last; ++x) {
        float w0, w1, w2;
        if (WeighTexel(triangle, static_cast<float>(x), fy, w0, w1, w2)) {
          Cover(coverage, WrapTexel(x, columns), row);
        }
      }
    }
  }
}

const TexelCoverage* GetTexelCoverage(const BloodContext& ctx, HostGeometry* geometry,
                                      int32_t materialIndex) {
  auto found = ctx.tables.bloodGeometryCache.find(geometry);
  if (found == ctx.tables.bloodGeometryCache.end()) return nullptr;
  BloodGeometryEntry& entry = found->second;
  const int32_t rows = ctx.config.MaskSize, columns = 2 * rows;
  auto coverage = std::find_if(
      entry.coverages.begin(), entry.coverages.end(),
      [materialIndex](const TexelCoverage& c) { return c.materialIndex == materialIndex; });
  if (coverage != entry.coverages.end() && coverage->width == columns && coverage->height == rows) {
    return &*coverage;
  }
  HostGame& host = ctx.host;
  const GeometryView source = host.GetGeometry(geometry);
  const GeometryView blood = host.GetGeometry(entry.copy);
  if (!source.triangles || !blood.texCoords) return nullptr;
  if (coverage == entry.coverages.end()) coverage = entry.coverages.emplace(entry.coverages.end());
  BuildTexelCoverage(source.triangles, source.triangleCount, blood.texCoords, blood.vertexCount,
                     materialIndex, columns, rows, *coverage);
  return &*coverage;
}
