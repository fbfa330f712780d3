#include "render/wound_stamp.h"

#include <algorithm>

#include "render/material_coverage.h"
#include "render/seam_margin.h"
#include "render/texel_triangle.h"
#include "render/value_noise.h"

namespace {

// A triangle whose bounding sphere lies past this share of the squared reach is surely
// beyond it, without the root.
constexpr float kSurelyBeyond = 1.01f;

// One painting of a wound: its stamp and reach per surface kind, and what it gathers.
struct WoundPainting {
  const BloodContext& ctx;
  std::vector<MaskLayer>& layers;
  WoundStamp stamps[kSurfaceKinds];
  float reaches[kSurfaceKinds];
  std::vector<SeamBlocks> raised;  // per layer index: near texels this painting raised
  size_t visits = 0;
  int32_t count = 0;
};

// Notes the texels a triangle raised in its layer's seam blocks, then gives the layer back
// the changes that were waiting for the upload before it.
void NoteRaised(WoundPainting& painting, MaskLayer& layer, const TexCoord coordinates[3],
                const TexelRect& waiting) {
  const int32_t margin = painting.ctx.config.SeamMargin;
  const size_t index = static_cast<size_t>(&layer - painting.layers.data());
  if (painting.raised.size() <= index) painting.raised.resize(index + 1);
  const int32_t columns = layer.mask.width, rows = layer.mask.height;
  TexelTriangle box;
  if (!IsEmpty(layer.changed) && MapTexelTriangle(coordinates, columns, rows, box)) {
    MarkSeamBlocks(painting.raised[index], columns, rows,
                   {box.beginX, box.beginY, box.endX + 1, box.endY + 1}, margin);
  }
  IncludeRect(layer.changed, waiting);
}

// Paints triangle t of mesh m where the stamp of its material's kind reaches it.
void PaintMeshTriangle(WoundPainting& painting, const PaintableMesh& m, int32_t t) {
  const HostTriangle& tri = m.triangles[t];
  const uint16_t i0 = tri.vertex[0], i1 = tri.vertex[1], i2 = tri.vertex[2];
  if (i0 >= m.vertexLimit || i1 >= m.vertexLimit || i2 >= m.vertexLimit) return;
  const TriangleBound& bound = (*m.bounds)[static_cast<size_t>(t)];
  const int kind = static_cast<int>(KindOf(m.kinds, tri.material));
  const WoundStamp& stamp = painting.stamps[kind];
  const float reach = painting.reaches[kind];
  const Vec3 offset = bound.centre - stamp.centre;
  const float offsetSq = Dot(offset, offset);
  // Far beyond reach for sure without the root; the exact test decides the rest and is
  // written to skip NaN too (a triangle that is not finite is out of reach).
  const float limit = reach + bound.radius;
  if (offsetSq > kSurelyBeyond * limit * limit ||
      !(value_noise::Sqrt(offsetSq) - bound.radius <= reach)) {
    return;
  }
  const Vec3 p[3] = {m.points[i0], m.points[i1], m.points[i2]};
  const TexCoord coordinates[3] = {m.texCoords[i0], m.texCoords[i1], m.texCoords[i2]};
  const BloodContext& ctx = painting.ctx;
  MaskLayer& layer = GetOrCreateLayer(ctx, painting.layers, m.mesh, tri.material);
  const uint32_t parts = ReachingParts(stamp, bound.centre, bound.radius);
  // The seam margin works only around the triangles that raised texels: the rises are
  // told apart from those already waiting for the upload.
  const bool seams = ctx.config.SeamMargin > 0;
  const TexelRect waiting = layer.changed;
  if (seams) layer.changed = TexelRect{};
  const bool painted = parts != 0 && PaintTriangleParts(layer, ctx.config.MaskSize, p, coordinates,
                                                        stamp, parts, painting.visits);
  if (seams) NoteRaised(painting, layer, coordinates, waiting);
  if (!painted) return;
  // A painting that raised no texel leaves the texture as it is (its colour follows with
  // the drying refresh): repaints of a flowing wound mostly raise nothing.
  if (!IsEmpty(layer.changed)) layer.dirty = true;
  layer.lastPaint = ctx.now;
  ++painting.count;
}

// Fills the seam margin around the texels the painting raised in the layers of mesh m.
void FillRaisedSeams(WoundPainting& painting, const PaintableMesh& m) {
  for (size_t i = 0; i < painting.raised.size(); ++i) {
    if (painting.raised[i].bits.empty()) continue;
    MaskLayer& layer = painting.layers[i];
    const TexelCoverage* coverage = GetTexelCoverage(painting.ctx, m.geometry, layer.materialIndex);
    if (coverage)
      FillSeamMargin(layer, *coverage, painting.raised[i], painting.ctx.config.SeamMargin);
  }
  painting.raised.clear();
}

}  // namespace

float ValueNoise3(float x, float y, float z) { return value_noise::Noise(x, y, z); }

uint32_t TexelJitter(uint32_t column, uint32_t row) {
  return value_noise::Mix((row * 19349663u) ^ (column * 73856093u) ^ 0x22D5FE01u);
}

MaskLayer& GetOrCreateLayer(const BloodContext& ctx, std::vector<MaskLayer>& layers, HostMesh* mesh,
                            int32_t materialIndex) {
  for (MaskLayer& layer : layers) {
    if (layer.mesh == mesh && layer.materialIndex == materialIndex) return layer;
  }
  MaskLayer layer;
  layer.mesh = mesh;
  layer.geometry = ctx.host.MeshGeometry(mesh);
  layer.materialIndex = materialIndex;
  const int32_t size = ctx.config.MaskSize;
  if (size > 0) ResetMask(layer.mask, 2 * size, size);
  layers.push_back(std::move(layer));
  return layers.back();
}

int32_t PaintWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                   const PosedMeshSnapshot& snapshot, float age, SnapshotBounds* shared,
                   size_t* work) {
  PosedWound pose;
  if (!PoseWound(ctx, wound, snapshot, pose)) return 0;
  return PaintPosedWound(ctx, layers, wound, pose, snapshot, age, shared, work);
}

int32_t PaintPosedWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                        const PosedWound& pose, const PosedMeshSnapshot& snapshot, float age,
                        SnapshotBounds* shared, size_t* work) {
  WoundPainting painting{ctx, layers, {}, {}, {}};
  // One stamp per surface kind, all from the one pose.
  const int kinds = SurfaceKindsIn(ctx.config);
  for (int kind = 0; kind < kinds; ++kind) {
    WoundStamp& stamp = painting.stamps[kind];
    StampAtAge(ctx.config, wound, pose, age, static_cast<SurfaceKind>(kind), stamp);
    painting.reaches[kind] = StampReach(stamp);
  }
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  SnapshotBounds own;
  SnapshotBounds& bounds = shared ? *shared : own;
  for (size_t k = 0; k < meshCount; ++k) {
    PaintableMesh m;
    if (!PaintableMeshAt(ctx, snapshot, k, kinds, bounds, m)) continue;
    for (int32_t t = 0; t < m.triangleCount; ++t) PaintMeshTriangle(painting, m, t);
    FillRaisedSeams(painting, m);
  }
  if (work) *work = painting.visits;
  return painting.count;
}
