#include "render/paintable_mesh.h"

#include <algorithm>
#include <limits>

#include "render/blood_geometry.h"
#include "render/material_coverage.h"
#include "render/vector_helpers.h"

namespace {

// Fills bounds with the centroid and vertex reach of every triangle whose vertices all
// have positions (NaN for the others, which no test passes).
void BoundTriangles(const HostTriangle* triangles, int32_t count, const std::vector<Vec3>& posed,
                    std::vector<TriangleBound>& bounds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  bounds.assign(static_cast<size_t>(count), TriangleBound{{nan, nan, nan}, nan});
  const size_t limit = posed.size();
  for (int32_t t = 0; t < count; ++t) {
    const HostTriangle& tri = triangles[t];
    if (tri.vertex[0] >= limit || tri.vertex[1] >= limit || tri.vertex[2] >= limit) continue;
    const Vec3 p[3] = {posed[tri.vertex[0]], posed[tri.vertex[1]], posed[tri.vertex[2]]};
    const Vec3 c = Divided(p[0] + p[1] + p[2], 3.0f);
    // sqrt is monotonic, so the largest distance is the root of the largest square.
    const float rmax = value_noise::Sqrt(
        Max3(Dot(p[0] - c, p[0] - c), Dot(p[1] - c, p[1] - c), Dot(p[2] - c, p[2] - c)));
    bounds[static_cast<size_t>(t)] = {c, rmax};
  }
}

}  // namespace

bool PaintableMeshAt(const BloodContext& ctx, const PosedMeshSnapshot& snapshot, size_t k,
                     int kinds, SnapshotBounds& bounds, PaintableMesh& m) {
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  if (k >= meshCount) return false;
  const std::vector<Vec3>& posed = snapshot.positions[k];
  if (posed.empty()) return false;
  HostGame& host = ctx.host;
  HostMesh* mesh = snapshot.meshes[k];
  HostGeometry* geometry = host.MeshGeometry(mesh);
  HostGeometry* copy = GetBloodGeometry(ctx, geometry);
  if (!copy) return false;
  const GeometryView source = host.GetGeometry(geometry);
  const GeometryView blood = host.GetGeometry(copy);
  if (!source.triangles || !blood.texCoords) return false;
  bounds.meshes.resize(meshCount);
  if (kinds > 1) {
    bounds.kinds.resize(meshCount);
    bounds.kindsKnown.resize(meshCount, false);
    if (!bounds.kindsKnown[k]) {
      MaterialSurfaceKinds(ctx, geometry, bounds.kinds[k]);
      bounds.kindsKnown[k] = true;
    }
  }
  m.mesh = mesh;
  m.geometry = geometry;
  m.triangles = source.triangles;
  m.triangleCount = std::max(source.triangleCount, 0);
  m.texCoords = blood.texCoords;
  m.vertexLimit = std::min(posed.size(), static_cast<size_t>(std::max(blood.vertexCount, 0)));
  m.points = posed.data();
  m.kinds = kinds > 1 ? &bounds.kinds[k] : nullptr;
  std::vector<TriangleBound>& meshBounds = bounds.meshes[k];
  if (meshBounds.size() != static_cast<size_t>(m.triangleCount)) {
    BoundTriangles(m.triangles, m.triangleCount, posed, meshBounds);
  }
  m.bounds = &meshBounds;
  return true;
}
