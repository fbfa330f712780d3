#include "render/blood_geometry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/log.h"

namespace {

// Bytes of the arrays a geometry holds.
uint64_t ArrayBytes(const GeometryView& view) {
  const uint64_t vertices = static_cast<uint64_t>(std::max(view.vertexCount, 0));
  const uint64_t perVertex =
      (view.positions ? sizeof(Vec3) : 0) + (view.normals ? sizeof(Vec3) : 0) +
      (view.texCoords ? sizeof(TexCoord) : 0) + (view.colours ? sizeof(uint32_t) : 0);
  const uint64_t triangles =
      view.triangles ? static_cast<uint64_t>(std::max(view.triangleCount, 0)) : 0;
  const uint64_t materials =
      view.materials ? static_cast<uint64_t>(std::max(view.materialCount, 0)) : 0;
  return vertices * perVertex + triangles * sizeof(HostTriangle) +
         materials * sizeof(HostMaterial*);
}

// The copy shares the source's skin record, which a destroyed geometry would take with it.
void DestroyCopy(HostGame& host, HostGeometry* copy) {
  host.SetGeometrySkin(copy, nullptr);
  host.DestroyGeometry(copy);
}

bool UsedNow(float lastUse, float now) { return !(lastUse < now); }

}  // namespace

HostGeometry* GetBloodGeometry(const BloodContext& ctx, HostGeometry* geometry) {
  HostGame& host = ctx.host;
  HostSkin* skin = host.GeometrySkin(geometry);
  GeometryView view = host.GetGeometry(geometry);
  auto& cache = ctx.tables.bloodGeometryCache;
  auto found = cache.find(geometry);
  if (found != cache.end() && found->second.vertexCount == view.vertexCount &&
      found->second.triangleCount == view.triangleCount && found->second.skin == skin) {
    found->second.lastUse = ctx.now;
    return found->second.copy;
  }
  HostGeometry* copy = CopyBloodGeometry(host, geometry, skin);
  if (!copy) {
    LogLine("blood geometry copy FAILED");
    return nullptr;
  }
  if (found != cache.end()) {
    const BloodGeometryEntry& old = found->second;
    if (UsedNow(old.lastUse, ctx.now)) {
      ctx.tables.retiredGeometries.push_back({old.copy, old.copyBytes, old.lastUse});
    } else {
      DestroyCopy(host, old.copy);
    }
  }
  // A new copy starts without coverages: its texture coordinates may differ.
  cache[geometry] = BloodGeometryEntry{
      copy, view.vertexCount, view.triangleCount, skin, ArrayBytes(host.GetGeometry(copy)), ctx.now,
      {}};
  LogLine("blood geometry for %p: %d vertices, %d triangles", static_cast<void*>(geometry),
          view.vertexCount, view.triangleCount);
  return copy;
}

uint64_t BloodGeometryBytes(const BloodGeometryEntry& entry) {
  uint64_t bytes = entry.copyBytes;
  for (const TexelCoverage& coverage : entry.coverages) {
    bytes += coverage.bits.size() * sizeof(uint64_t);
  }
  return bytes;
}

uint64_t ReleaseRetiredGeometries(const BloodContext& ctx) {
  std::vector<RetiredGeometry>& retired = ctx.tables.retiredGeometries;
  uint64_t bytes = 0;
  auto released = [&](const RetiredGeometry& r) {
    if (UsedNow(r.lastUse, ctx.now)) return false;
    DestroyCopy(ctx.host, r.copy);
    bytes += r.copyBytes;
    return true;
  };
  retired.erase(std::remove_if(retired.begin(), retired.end(), released), retired.end());
  return bytes;
}

uint64_t DropBloodGeometry(const BloodContext& ctx, HostGeometry* geometry) {
  auto& cache = ctx.tables.bloodGeometryCache;
  auto found = cache.find(geometry);
  if (found == cache.end()) return 0;
  const uint64_t bytes = BloodGeometryBytes(found->second);
  DestroyCopy(ctx.host, found->second.copy);
  cache.erase(found);
  return bytes;
}

void ReleaseAllBloodGeometry(const BloodContext& ctx) {
  BloodTables& tables = ctx.tables;
  for (const auto& entry : tables.bloodGeometryCache) DestroyCopy(ctx.host, entry.second.copy);
  for (const RetiredGeometry& r : tables.retiredGeometries) DestroyCopy(ctx.host, r.copy);
  tables.bloodGeometryCache.clear();
  tables.retiredGeometries.clear();
  tables.retiredGeometries.shrink_to_fit();
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
