#include "render/footprint_listing.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/texel_triangle.h"
#include "render/value_noise.h"
#include "render/vector_helpers.h"

float NextCoveredAge(float covered, float age, float flowTime) {
  if (covered < 0.0f) return age;
  return std::max(age, std::min(covered * kStageGrowth + kStageStep, flowTime));
}

namespace {

using value_noise::Sqrt;

// Whole triangles are culled with a margin of a millimetre, far beyond any rounding.
constexpr float kTriangleMargin = 1e-3f;
// Texels are culled with a margin of a few dozen units in the last place of the largest
// coordinate: far more than the rounding between the cull's sums and the painter's.
constexpr float kTexelCullUnits = 64.0f, kTexelCullFloor = 1e-5f;
// Room for rounding in the culls' reach.
constexpr float kReachSlack = 1.001f;

// Which texels any age up to the stamp's may paint, with room for rounding: the blot
// within its widest noisy edge, and each drip's band, stretched up to where it starts on the
// youngest wound (its start moves down as the blot grows).
struct TexelCull {
  float blotReach;
  int32_t dripCount;
  Vec3 dripStart[kMaxDrips];
  float alongLow[kMaxDrips], alongHigh[kMaxDrips], across[kMaxDrips];
  Vec3 down, side;
};

TexelCull CullOf(const WoundStamp& stamp, const WoundStamp& youngest) {
  TexelCull cull;
  cull.blotReach = texel_amount::kGoneFrom * kReachSlack * stamp.radius;
  cull.dripCount = stamp.dripCount;
  cull.down = stamp.down;
  cull.side = stamp.side;
  const float moved = kDripStartBelow * (stamp.radius - youngest.radius) * kReachSlack;
  for (int i = 0; i < stamp.dripCount; ++i) {
    cull.dripStart[i] = stamp.dripStart[i];
    cull.alongLow[i] = -stamp.dripWidth[i] - moved;
    cull.alongHigh[i] = stamp.dripSpan[i];
    cull.across[i] = texel_amount::kDripReach * stamp.dripWidth[i];
  }
  return cull;
}

bool BlotMayPaint(const TexelCull& cull, float dist, float margin) {
  return dist < cull.blotReach + margin;
}

// Whether every point within the sphere (c, radius) surely passes the blot's cull, or
// surely fails every part's.
bool WithinBlot(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin) {
  const Vec3 offset = bound.centre - centre;
  return Sqrt(Dot(offset, offset)) + bound.radius < cull.blotReach - margin;
}

bool BeyondCull(const TexelCull& cull, const TriangleBound& bound, Vec3 centre, float margin) {
  const Vec3 offset = bound.centre - centre;
  if (Sqrt(Dot(offset, offset)) - bound.radius <= cull.blotReach + margin) return false;
  for (int i = 0; i < cull.dripCount; ++i) {
    const Vec3 r = bound.centre - cull.dripStart[i];
    const float along = Dot(r, cull.down);
    if (along + bound.radius >= cull.alongLow[i] - margin &&
        along - bound.radius <= cull.alongHigh[i] + margin &&
        std::fabs(Dot(r, cull.side)) - bound.radius <= cull.across[i] + margin) {
      return false;
    }
  }
  return true;
}

// Bit i set where drip i may paint q.
uint8_t DripsThatMayPaint(const TexelCull& cull, Vec3 q, float margin) {
  uint8_t drips = 0;
  for (int i = 0; i < cull.dripCount; ++i) {
    const Vec3 r = q - cull.dripStart[i];
    const float along = Dot(r, cull.down);
    if (along >= cull.alongLow[i] - margin && along <= cull.alongHigh[i] + margin &&
        std::fabs(Dot(r, cull.side)) <= cull.across[i] + margin) {
      drips = static_cast<uint8_t>(drips | (1u << i));
    }
  }
  return drips;
}

// The culls of one age for each surface kind.
struct StageCulls {
  TexelCull kinds[kSurfaceKinds];
};

StageCulls CullsAt(const BloodConfig& config, const Wound& wound, const PosedWound& pose,
                   float age) {
  StageCulls culls;
  for (int kind = 0; kind < SurfaceKindsIn(config); ++kind) {
    WoundStamp stamp, youngest;
    StampAtAge(config, wound, pose, age, static_cast<SurfaceKind>(kind), stamp);
    StampAtAge(config, wound, pose, 0.0f, static_cast<SurfaceKind>(kind), youngest);
    culls.kinds[kind] = CullOf(stamp, youngest);
  }
  return culls;
}

// Lists the texels of triangle index that the stage's cull takes and the previous stage's
// (when the triangle was listed at it) did not; returns how many.
uint32_t ListTexels(const FootprintTriangle& e, const PosedWound& pose, uint16_t index,
                    int32_t maskSize, const TexelCull& stage, const TexelCull* before,
                    const TexelCull& ever, float cut, std::vector<FootprintTexel>& texels,
                    size_t& visits) {
  const int32_t columns = 2 * maskSize, rows = maskSize;
  TexelTriangle triangle;
  if (!MapTexelTriangle(e.coordinates, columns, rows, triangle)) return 0;
  uint32_t listed = 0;
  const Vec3 p0 = e.positions[0], p1 = e.positions[1], p2 = e.positions[2];
  const Vec3 centre = pose.centre, axis = pose.axis;
  float largest = std::max(MaxAbs(p0), std::max(MaxAbs(p1), MaxAbs(p2)));
  largest = std::max(largest, MaxAbs(centre));
  const float margin = kTexelCullUnits * largest * kUnitInLastPlace + kTexelCullFloor;
  for (int32_t y = triangle.beginY; y <= triangle.endY; ++y) {
    int32_t first, last;
    triangle.spans.Solve(y, triangle.beginX, triangle.endX, first, last);
    if (last >= first) visits += static_cast<size_t>(last - first + 1);
    const float fy = static_cast<float>(y);
    for (int32_t x = first; x <= last; ++x) {
      float w0, w1, w2;
      if (!WeighTexel(triangle, static_cast<float>(x), fy, w0, w1, w2)) continue;
      const Vec3 q = texel_amount::TexelPoint(p0, p1, p2, w0, w1, w2);
      const Vec3 rel = texel_amount::FromCentreLine(q, centre, axis, cut);
      const float dist = Sqrt(Dot(rel, rel));
      const bool now = BlotMayPaint(stage, dist, margin) || DripsThatMayPaint(stage, q, margin);
      if (!now) continue;
      if (before &&
          (BlotMayPaint(*before, dist, margin) || DripsThatMayPaint(*before, q, margin))) {
        continue;
      }
      const int32_t column = WrapTexel(x, columns), row = WrapTexel(y, rows);
      FootprintTexel texel;
      texel.q = q;
      texel.dist = dist;
      texel.jitter = texel_amount::JitterOf(
          TexelJitter(static_cast<uint32_t>(column), static_cast<uint32_t>(row)));
      texel.column = static_cast<uint16_t>(column);
      texel.row = static_cast<uint16_t>(row);
      texel.triangle = index;
      texel.drips = DripsThatMayPaint(ever, q, margin);
      texels.push_back(texel);
      ++listed;
    }
  }
  return listed;
}

}  // namespace

size_t Extend(const BloodConfig& config, const Wound& wound, WoundFootprint& fp, float age) {
  size_t visits = 0;
  if (!(wound.bleed > 0.0f)) {
    fp.coveredAge = age;
    return visits;
  }
  const StageCulls stage = CullsAt(config, wound, fp.pose, age);
  const StageCulls ever = CullsAt(config, wound, fp.pose, config.FlowTime);
  StageCulls before;
  if (fp.coveredAge >= 0.0f) before = CullsAt(config, wound, fp.pose, fp.coveredAge);
  float reaches[kSurfaceKinds];
  for (int kind = 0; kind < SurfaceKindsIn(config); ++kind) {
    WoundStamp stamp;
    StampAtAge(config, wound, fp.pose, age, static_cast<SurfaceKind>(kind), stamp);
    reaches[kind] = StampReach(stamp);
  }
  for (size_t t = 0; t < fp.triangles.size(); ++t) {
    FootprintTriangle& e = fp.triangles[t];
    const int kind = static_cast<int>(e.kind);
    if (!(e.distance <= reaches[kind]) || e.coveredAge >= age) continue;
    const TexelCull* previous = e.coveredAge >= 0.0f ? &before.kinds[kind] : nullptr;
    // Whole triangles the previous stage took by the blot, or that nothing reaches yet,
    // have no new texels: with a margin of a millimetre both tests are far from rounding.
    const Vec3 centre = fp.pose.centre;
    if ((previous && WithinBlot(*previous, e.bound, centre, kTriangleMargin)) ||
        BeyondCull(stage.kinds[kind], e.bound, centre, kTriangleMargin)) {
      if (previous) e.coveredAge = age;
      continue;
    }
    e.live += ListTexels(e, fp.pose, static_cast<uint16_t>(t), config.MaskSize, stage.kinds[kind],
                         previous, ever.kinds[kind], wound.cut, fp.texels, visits);
    e.coveredAge = age;
  }
  fp.coveredAge = age;
  return visits;
}

namespace {

// The key of (mesh, material), added when new; kMostIndices when there are too many.
size_t KeyOf(WoundFootprint& fp, const PaintableMesh& m, uint16_t material) {
  for (size_t i = 0; i < fp.keys.size(); ++i) {
    if (fp.keys[i].mesh == m.mesh && fp.keys[i].material == material) return i;
  }
  if (fp.keys.size() >= kMostIndices) return kMostIndices;
  fp.keys.push_back({m.mesh, m.geometry, material, KindOf(m.kinds, material), {}});
  return fp.keys.size() - 1;
}

}  // namespace

bool MakeFootprint(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                   const PosedWound& pose, SnapshotBounds& bounds, uint32_t poseVersion,
                   WoundFootprint& fp) {
  const BloodConfig& config = ctx.config;
  if (config.MaskSize < 1 || 2 * static_cast<int64_t>(config.MaskSize) > int64_t{kMostIndices}) {
    return false;
  }
  fp.pose = pose;
  fp.poseVersion = poseVersion;
  const int kinds = SurfaceKindsIn(config);
  float reaches[kSurfaceKinds];
  for (int kind = 0; kind < kinds; ++kind) {
    WoundStamp youngest, oldest;
    StampAtAge(config, wound, fp.pose, 0.0f, static_cast<SurfaceKind>(kind), youngest);
    StampAtAge(config, wound, fp.pose, config.FlowTime, static_cast<SurfaceKind>(kind), oldest);
    // The cull needs an edge to stop at.
    if (!(youngest.radius > 0.0f) || !std::isfinite(oldest.radius)) return false;
    reaches[kind] = StampReach(oldest);
  }
  const StageCulls ever = CullsAt(config, wound, fp.pose, config.FlowTime);
  const bool bleeds = wound.bleed > 0.0f;
  const int32_t columns = 2 * config.MaskSize, rows = config.MaskSize;
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  uint32_t order = 0;
  for (size_t k = 0; k < meshCount; ++k) {
    PaintableMesh m;
    if (!PaintableMeshAt(ctx, snapshot, k, kinds, bounds, m)) continue;
    for (int32_t t = 0; t < m.triangleCount; ++t) {
      const HostTriangle& tri = m.triangles[t];
      const uint16_t i0 = tri.vertex[0], i1 = tri.vertex[1], i2 = tri.vertex[2];
      if (i0 >= m.vertexLimit || i1 >= m.vertexLimit || i2 >= m.vertexLimit) continue;
      const TriangleBound bound = (*m.bounds)[static_cast<size_t>(t)];
      const int kind = static_cast<int>(KindOf(m.kinds, tri.material));
      const Vec3 offset = bound.centre - fp.pose.centre;
      const float distance = Sqrt(Dot(offset, offset)) - bound.radius;
      if (!(distance <= reaches[kind])) continue;
      const size_t key = KeyOf(fp, m, tri.material);
      if (key >= kMostIndices) return false;
      auto& firsts = fp.keys[key].firsts;
      if (firsts.empty() || distance < firsts.back().second) firsts.push_back({order, distance});
      ++order;
      if (!bleeds || BeyondCull(ever.kinds[kind], bound, fp.pose.centre, kTriangleMargin)) continue;
      if (fp.triangles.size() >= kMostIndices) return false;
      FootprintTriangle e;
      e.key = static_cast<uint16_t>(key);
      e.kind = static_cast<SurfaceKind>(kind);
      e.paintsForever = false;
      e.live = 0;
      e.distance = distance;
      e.bound = bound;
      e.coveredAge = -1.0f;
      e.positions[0] = m.points[i0];
      e.positions[1] = m.points[i1];
      e.positions[2] = m.points[i2];
      e.coordinates[0] = m.texCoords[i0];
      e.coordinates[1] = m.texCoords[i1];
      e.coordinates[2] = m.texCoords[i2];
      TexelTriangle box;
      e.box = TexelRect{};
      if (Finite(e.positions[0]) && Finite(e.positions[1]) && Finite(e.positions[2]) &&
          MapTexelTriangle(e.coordinates, columns, rows, box)) {
        e.box = {box.beginX, box.beginY, box.endX + 1, box.endY + 1};
      }
      fp.triangles.push_back(e);
    }
  }
  return true;
}
