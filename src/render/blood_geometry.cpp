#include "render/blood_geometry.h"

#include <cstring>
#include <vector>

#include "core/log.h"

HostGeometry* GetBloodGeometry(const BloodContext& ctx, HostGeometry* geometry) {
  HostGame& host = ctx.host;
  HostSkin* skin = host.GeometrySkin(geometry);
  GeometryView view = host.GetGeometry(geometry);
  auto& cache = ctx.tables.bloodGeometryCache;
  auto found = cache.find(geometry);
  if (found != cache.end() && found->second.vertexCount == view.vertexCount &&
      found->second.triangleCount == view.triangleCount && found->second.skin == skin) {
    return found->second.copy;
  }
  HostGeometry* copy = CopyBloodGeometry(host, geometry, skin);
  if (!copy) {
    LogLine("blood geometry copy FAILED");
    return nullptr;
  }
  // A new copy starts without coverages: its texture coordinates may differ.
  cache[geometry] = BloodGeometryEntry{copy, view.vertexCount, view.triangleCount, skin, {}};
  LogLine("blood geometry for %p: %d vertices, %d triangles", static_cast<void*>(geometry),
          view.vertexCount, view.triangleCount);
  return copy;
}

HostGeometry* CopyBloodGeometry(HostGame& host, HostGeometry* src, HostSkin* skin) {
  GeometryView from = host.GetGeometry(src);
  if (!from.texCoords || !from.triangles || !from.hasVertexData || !from.positions || !skin) {
    return nullptr;
  }
  const int32_t vertexCount = from.vertexCount;
  const int32_t triangleCount = from.triangleCount;
  if (vertexCount < 0 || triangleCount < 0) return nullptr;
  const size_t v = static_cast<size_t>(vertexCount);
  const size_t t = static_cast<size_t>(triangleCount);

  // Which way each vertex's triangles face in texture space: mirrored ones count -1.
  std::vector<int32_t> side(v, 0);
  const TexCoord* uv = from.texCoords;
  for (size_t i = 0; i < t; ++i) {
    const HostTriangle& tri = from.triangles[i];
    const uint16_t a = tri.vertex[0], b = tri.vertex[1], c = tri.vertex[2];
    if (a >= v || b >= v || c >= v) continue;
    const float s =
        (uv[b].u - uv[a].u) * (uv[c].v - uv[a].v) - (uv[b].v - uv[a].v) * (uv[c].u - uv[a].u);
    const int32_t sign = s > 0.0f ? 1 : (s < 0.0f ? -1 : 0);
    side[a] += sign;
    side[b] += sign;
    side[c] += sign;
  }

  HostGeometry* dst =
      host.CreateGeometry(vertexCount, triangleCount, (from.format & 0x78u) | 0x06u);
  if (!dst) return nullptr;
  GeometryView to = host.GetGeometry(dst);
  if (to.positions) std::memcpy(to.positions, from.positions, v * sizeof(Vec3));
  if (to.normals && from.normals) std::memcpy(to.normals, from.normals, v * sizeof(Vec3));
  if (to.bounds && from.bounds) std::memcpy(to.bounds, from.bounds, 4 * sizeof(float));
  if (to.colours && from.colours) std::memcpy(to.colours, from.colours, v * sizeof(uint32_t));
  if (from.materials) {
    for (int32_t i = 0; i < from.materialCount; ++i) host.AppendMaterial(dst, from.materials[i]);
  }
  // Appending materials may move the copy's arrays.
  to = host.GetGeometry(dst);
  if (to.triangles) std::memcpy(to.triangles, from.triangles, t * sizeof(HostTriangle));
  if (to.texCoords) {
    for (size_t i = 0; i < v; ++i) {
      float u = uv[i].u * 0.5f;
      if (side[i] < 0) u += 0.5f;
      to.texCoords[i] = {u, uv[i].v};
    }
  }
  host.SetGeometrySkin(dst, skin);
  host.FinishGeometry(dst);
  return dst;
}
