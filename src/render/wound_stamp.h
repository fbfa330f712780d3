// Stamping a wound into the ped's blood masks in the texture space of its BloodGeometry:
// the wound is posed on the current snapshot (WoundStamp), then every triangle within
// reach is rasterised into the MaskLayer of its mesh and material. Amounts only grow.
#pragma once

#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "host/host_types.h"
#include "render/surface_kind.h"

// The centroid of each posed triangle and the largest distance of its vertices from it,
// and the surface kind of each material: the same for every wound painted on one
// snapshot, so worked out once for all of them.
struct TriangleBound {
  Vec3 centre;
  float radius;
};
struct SnapshotBounds {
  std::vector<std::vector<TriangleBound>> meshes;  // per snapshot mesh, filled on first use
  std::vector<std::vector<SurfaceKind>> kinds;     // per snapshot mesh, while a list is set
  std::vector<bool> kindsKnown;                    // per snapshot mesh
};

// One mesh of a snapshot as the painter takes it: its posed vertices, the texture
// coordinates of its BloodGeometry, the surface kind of each material and the bounds of
// its triangles.
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

// How far from the stamp's centre a triangle's bounding sphere may lie and still be
// painted: 1.5 R + cut, or R and the longest drip's span.
float StampReach(const WoundStamp& stamp);

// Which parts of the stamp can paint a triangle within the sphere (c, rmax): bit i for
// drip i, kBlotPart for the blot; 0 when none can. A part left out would have written no
// texel.
constexpr uint32_t kBlotPart = 1u << kMaxDrips;
uint32_t ReachingParts(const WoundStamp& stamp, Vec3 c, float rmax);

// Paints the wound at age seconds into layers (creating layers on the way) over every
// mesh of the snapshot with a pose and a BloodGeometry, each material with the stamp of
// its surface kind (only plain ones while no list names a texture); returns the number of triangles
// painted (0 when the stamp cannot be built). Triangles with a vertex index at or past
// the vertex count, or with non-finite positions, are skipped. A painted triangle sets its
// layer's lastPaint; a layer is marked dirty, with its `changed` rectangle grown, only
// where a texel rose, so that repaints which raise nothing upload nothing. With a SeamMargin,
// each layer the painting raised texels in then gets its seam margin around them
// (FillSeamMargin). Wounds painted on one snapshot may share its bounds (empty at first, for
// that snapshot only). work, where given, receives the number of texels visited.
int32_t PaintWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                   const PosedMeshSnapshot& snapshot, float age, SnapshotBounds* bounds = nullptr,
                   size_t* work = nullptr);

// The parts of a wound's stamp that depend on the pose alone.
struct PosedWound {
  Vec3 centre, normal, down, side, axis;
  float flatness;
};

// The wound's centre and frame on the snapshot; false, as for BuildWoundStamp, when they
// cannot be had.
bool PoseWound(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
               PosedWound& pose);

// The stamp of the posed wound at age seconds on a surface of that kind.
void StampAtAge(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age,
                SurfaceKind kind, WoundStamp& stamp);

// Poses the wound on the snapshot as it looks on a surface of that kind. False when its
// mesh is not in the snapshot or has no pose, its geometry changed, its triangle or vertex
// indices are out of range, or the posed triangle is degenerate or not finite.
bool BuildWoundStamp(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                     float age, WoundStamp& stamp, SurfaceKind kind = SurfaceKind::kPlain);

// Rasterises one triangle into layer's mask (2 * MaskSize x MaskSize, wrapping at the
// edges); true when at least one texel was written. False, writing nothing, for bleed <= 0
// (or NaN), a texture-space area below 0.0001 texel^2, texel bounds wider than twice the
// mask, non-finite coordinates, or a mask whose size is not 2 * maskSize^2 bytes.
bool PaintTriangle(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
                   const TexCoord coordinates[3], const WoundStamp& stamp);

// The first layer for (mesh, materialIndex), else a new zeroed one appended (dirty, with
// the mesh's current geometry). The reference is valid until the next append.
MaskLayer& GetOrCreateLayer(const BloodContext& ctx, std::vector<MaskLayer>& layers, HostMesh* mesh,
                            int32_t materialIndex);

// Smooth value noise in [0, 1] on the integer lattice; 0 at the origin. Inputs that are
// not finite or lie beyond the 32-bit lattice give 0.
float ValueNoise3(float x, float y, float z);

// Per-texel jitter hash J(column, row) in 0 ... 65535; J(0, 0) = 20240.
uint32_t TexelJitter(uint32_t column, uint32_t row);
