// The meshes of a posed snapshot as the painter takes them: posed vertices, the texture
// coordinates of their BloodGeometry, the surface kind of each material and the bounds of
// each triangle, worked out once for every wound painted on one snapshot.
#pragma once

#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "host/host_types.h"
#include "render/surface_kind.h"

// The centroid of a posed triangle and the largest distance of its vertices from it.
struct TriangleBound {
  Vec3 centre;
  float radius;
};

// The triangle bounds of each mesh of one snapshot, and the surface kind of each material.
struct SnapshotBounds {
  std::vector<std::vector<TriangleBound>> meshes;  // per snapshot mesh, filled on first use
  std::vector<std::vector<SurfaceKind>> kinds;     // per snapshot mesh, while a list is set
  std::vector<bool> kindsKnown;                    // per snapshot mesh
};

// One mesh of a snapshot as the painter takes it.
struct PaintableMesh {
  HostMesh* mesh;
  HostGeometry* geometry;  // the mesh's current one
  const HostTriangle* triangles;
  int32_t triangleCount;
  const TexCoord* texCoords;              // of the BloodGeometry
  size_t vertexLimit;                     // vertex indices at or past it are not painted
  const Vec3* points;                     // posed vertex positions
  const std::vector<SurfaceKind>* kinds;  // null while every material is plain
  const std::vector<TriangleBound>* bounds;
};

// Mesh k of the snapshot, with its bounds and kinds worked out in bounds (surface kinds
// when kinds > 1); false when it has no pose, no BloodGeometry or no triangles.
bool PaintableMeshAt(const BloodContext& ctx, const PosedMeshSnapshot& snapshot, size_t k,
                     int kinds, SnapshotBounds& bounds, PaintableMesh& mesh);

inline SurfaceKind KindOf(const std::vector<SurfaceKind>* kinds, uint16_t material) {
  return kinds && material < kinds->size() ? (*kinds)[material] : SurfaceKind::kPlain;
}
