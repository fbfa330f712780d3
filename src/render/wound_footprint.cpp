#include "render/wound_footprint.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "render/material_coverage.h"
#include "render/seam_margin.h"
#include "render/texel_triangle.h"
#include "render/value_noise.h"

namespace {

using texel_amount::kLeastAmount;
using texel_amount::TexelValue;
using value_noise::Sqrt;

constexpr size_t kMostIndices = std::numeric_limits<uint16_t>::max();

// The ages a footprint lists its texels for grow in steps, each half as long again as the
// one before and a quarter second more, so that a wound is extended a handful of times in
// its life rather than at every repaint.
constexpr float kStageGrowth = 1.5f, kStageStep = 0.25f;
constexpr float kTriangleMargin = 1e-3f;  // metres

float NextCoveredAge(float covered, float age, float flowTime) {
  if (covered < 0.0f) return age;
  return std::max(age, std::min(covered * kStageGrowth + kStageStep, flowTime));
}

inline float MaxAbs(Vec3 p) {
  return std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z)));
}

inline int LowestBit(uint32_t bits) {
  int i = 0;
  while (!(bits & 1u)) {
    bits >>= 1;
    ++i;
  }
  return i;
}

inline bool Finite(Vec3 p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

int SurfaceKindsIn(const BloodConfig& config) { return SurfacesNamed(config) ? kSurfaceKinds : 1; }

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
  cull.blotReach = texel_amount::kGoneFrom * 1.001f * stamp.radius;
  cull.dripCount = stamp.dripCount;
  cull.down = stamp.down;
  cull.side = stamp.side;
  const float moved = 0.3f * (stamp.radius - youngest.radius) * 1.001f;
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
  // A few dozen units in the last place of the largest coordinate: far more than the
  // rounding between the cull's sums and the painter's.
  const float margin = 64.0f * largest * (1.0f / 8388608.0f) + 1e-5f;
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

// Lists the texels of every triangle in reach at age that are not listed yet; returns the
// number of texels visited.
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

// The key of (mesh, material), added when new; kMostIndices when there are too many.
size_t KeyOf(WoundFootprint& fp, const PaintableMesh& m, uint16_t material) {
  for (size_t i = 0; i < fp.keys.size(); ++i) {
    if (fp.keys[i].mesh == m.mesh && fp.keys[i].material == material) return i;
  }
  if (fp.keys.size() >= kMostIndices) return kMostIndices;
  fp.keys.push_back({m.mesh, m.geometry, material, KindOf(m.kinds, material), {}});
  return fp.keys.size() - 1;
}

// A new footprint in the snapshot's pose: the layers the wound's reach crosses by the time
// it stops flowing and the triangles it may paint; false for a wound it cannot hold.
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

// What one painting keeps per triangle of the footprint.
struct TriangleTurn {
  int32_t layer;  // index in layers; -1: out of reach at this age
  uint32_t parts;
  bool painted, raised;
};

// Evaluates every listed texel of a triangle in reach at the stamps' age, writes the
// rises, and drops the texels that took the most the wound can give them.
// The most the blot gives the texel at any age: its amount on the oldest wound, the blot
// only growing, with room for rounding; 0 when that writes nothing.
uint8_t BlotCap(const WoundStamp& oldest, FootprintTexel& texel) {
  const float amount = texel_amount::BlotAmount(oldest, texel.q, texel.dist, texel.noise);
  const float bound = amount * (1.0f + 1e-4f) + 1e-6f;
  return bound < kLeastAmount
             ? 0
             : std::max<uint8_t>(1, TexelValue(texel.jitter, value_noise::Clamp01(bound)));
}

// Evaluates one listed texel at the stamp's age and writes its rise; false when it has
// taken the most the wound can give it and its triangle paints at every later age, or
// when nothing will ever paint it.
bool PaintTexel(FootprintTexel& texel, FootprintTriangle& e, TriangleTurn& turn, MaskLayer& layer,
                const WoundStamp& stamp, const WoundStamp& oldest) {
  const uint8_t current = MaskAt(layer.mask, texel.column, texel.row);
  const uint8_t most = TexelValue(texel.jitter, 1.0f);
  if ((turn.painted || e.paintsForever) && current >= most) return !e.paintsForever;
  float amount = 0.0f;
  if (turn.parts & kBlotPart) {
    amount = texel_amount::BlotAmount(stamp, texel.q, texel.dist, texel.noise);
  }
  const float blot = amount;
  for (uint32_t drips = turn.parts & texel.drips; drips != 0; drips &= drips - 1) {
    texel_amount::AddDrip(stamp, LowestBit(drips), texel.q, texel.noise, amount);
  }
  const float final = value_noise::Clamp01(amount);
  uint8_t now = current;
  if (final >= kLeastAmount) {
    const uint8_t value = TexelValue(texel.jitter, final);
    if (value > current) {
      SetMaskAt(layer.mask, texel.column, texel.row, value);
      IncludeRect(layer.changed, {texel.column, texel.row, texel.column + 1, texel.row + 1});
      turn.raised = true;
      now = value;
    }
    turn.painted = true;
    // The blot only grows: twice the least amount leaves rounding no say.
    if (blot >= 2.0f * kLeastAmount) e.paintsForever = true;
  }
  // At its first evaluation a texel learns the most it can ever take.
  if (texel.cap == 0) {
    for (uint32_t drips = texel.drips; drips != 0; drips &= drips - 1) {
      const int i = LowestBit(drips);
      if (texel_amount::DripNeverReaches(stamp, i, texel.q, texel.noise)) {
        texel.drips = static_cast<uint8_t>(texel.drips & ~(1u << i));
      }
    }
    texel.cap = texel.drips ? most : BlotCap(oldest, texel);
    if (texel.cap == 0) return false;
  }
  return !(e.paintsForever && now >= texel.cap);
}

// Paints every listed texel of a triangle in reach at the stamps' age and keeps the ones
// that may still rise.
void PaintTexels(std::vector<MaskLayer>& layers, WoundFootprint& fp, const WoundStamp* stamps,
                 const WoundStamp* oldest, std::vector<TriangleTurn>& turns) {
  size_t kept = 0;
  const size_t count = fp.texels.size();
  for (size_t n = 0; n < count;) {
    // Texels are listed triangle by triangle: each run shares its triangle's state.
    const uint16_t index = fp.texels[n].triangle;
    size_t end = n + 1;
    while (end < count && fp.texels[end].triangle == index) ++end;
    FootprintTriangle& e = fp.triangles[index];
    TriangleTurn& turn = turns[index];
    if (turn.layer < 0 || turn.parts == 0) {
      for (; n < end; ++n) fp.texels[kept++] = fp.texels[n];
      continue;
    }
    MaskLayer& layer = layers[static_cast<size_t>(turn.layer)];
    const int kind = static_cast<int>(e.kind);
    for (; n < end; ++n) {
      FootprintTexel texel = fp.texels[n];
      if (PaintTexel(texel, e, turn, layer, stamps[kind], oldest[kind])) {
        fp.texels[kept++] = texel;
      } else {
        --e.live;
      }
    }
  }
  fp.texels.resize(kept);
  // A footprint that shrank a lot gives its memory back.
  if (fp.texels.capacity() > 64 && kept < fp.texels.capacity() / 4) fp.texels.shrink_to_fit();
}

// The layer of each key for a painting at reaches, made where a painting afresh would
// make them, in the same order: -1 for a key out of reach or whose mesh changed its
// geometry, -2 for a layer whose mask has another size (the setting changed under it).
std::vector<int32_t> KeyLayers(const BloodContext& ctx, std::vector<MaskLayer>& layers,
                               const WoundFootprint& fp, const float* reaches) {
  std::vector<int32_t> found(fp.keys.size(), -1);
  std::vector<std::pair<uint32_t, size_t>> missing;  // (first triangle in reach, key)
  for (size_t i = 0; i < fp.keys.size(); ++i) {
    const FootprintLayerKey& key = fp.keys[i];
    if (ctx.host.MeshGeometry(key.mesh) != key.geometry) continue;
    for (size_t j = 0; j < layers.size() && found[i] < 0; ++j) {
      if (layers[j].mesh == key.mesh && layers[j].materialIndex == key.material) {
        found[i] = static_cast<int32_t>(j);
      }
    }
    if (found[i] >= 0) continue;
    const float reach = reaches[static_cast<int>(key.kind)];
    for (const auto& first : key.firsts) {
      if (first.second <= reach) {
        missing.push_back({first.first, i});
        break;
      }
    }
  }
  std::sort(missing.begin(), missing.end());
  for (const auto& entry : missing) {
    const FootprintLayerKey& key = fp.keys[entry.second];
    MaskLayer& layer = GetOrCreateLayer(ctx, layers, key.mesh, key.material);
    found[entry.second] = static_cast<int32_t>(&layer - layers.data());
  }
  const int32_t size = ctx.config.MaskSize;
  for (int32_t& index : found) {
    if (index < 0) continue;
    const BloodMask& mask = layers[static_cast<size_t>(index)].mask;
    if (mask.width != 2 * size || mask.height != size) index = -2;
  }
  return found;
}

int32_t PaintFootprint(const BloodContext& ctx, std::vector<MaskLayer>& layers, Wound& wound,
                       WoundFootprint& fp, float age) {
  const BloodConfig& config = ctx.config;
  const int kinds = SurfaceKindsIn(config);
  WoundStamp stamps[kSurfaceKinds], oldest[kSurfaceKinds];
  float reaches[kSurfaceKinds];
  for (int kind = 0; kind < kinds; ++kind) {
    StampAtAge(config, wound, fp.pose, age, static_cast<SurfaceKind>(kind), stamps[kind]);
    StampAtAge(config, wound, fp.pose, config.FlowTime, static_cast<SurfaceKind>(kind),
               oldest[kind]);
    reaches[kind] = StampReach(stamps[kind]);
  }
  size_t work = 0;
  if (age > fp.coveredAge) {
    work += Extend(config, wound, fp, NextCoveredAge(fp.coveredAge, age, config.FlowTime));
  }
  work += fp.texels.size();
  wound.work = static_cast<uint32_t>(std::min<size_t>(work, UINT32_MAX));

  const std::vector<int32_t> keyLayers = KeyLayers(ctx, layers, fp, reaches);
  std::vector<TriangleTurn> turns(fp.triangles.size(), TriangleTurn{-1, 0, false, false});
  for (size_t t = 0; t < fp.triangles.size(); ++t) {
    const FootprintTriangle& e = fp.triangles[t];
    const int kind = static_cast<int>(e.kind);
    const int32_t layer = keyLayers[e.key];
    if (!(e.distance <= reaches[kind]) || layer == -1) continue;
    TriangleTurn& turn = turns[t];
    turn.layer = layer;
    if (layer < 0) continue;
    // Without texels left, a triangle paints exactly when its blot did before.
    if (e.live == 0) {
      turn.parts = e.paintsForever ? kBlotPart : 0;
      turn.painted = e.paintsForever;
    } else {
      turn.parts = ReachingParts(stamps[kind], e.bound.centre, e.bound.radius);
    }
  }

  PaintTexels(layers, fp, stamps, oldest, turns);

  const int32_t margin = config.SeamMargin;
  std::vector<SeamBlocks> raised;  // per layer index
  int32_t count = 0;
  for (size_t t = 0; t < fp.triangles.size(); ++t) {
    const TriangleTurn& turn = turns[t];
    if (turn.layer < 0 || turn.parts == 0) continue;
    MaskLayer& layer = layers[static_cast<size_t>(turn.layer)];
    if (margin > 0 && turn.raised) {
      if (raised.size() <= static_cast<size_t>(turn.layer)) raised.resize(turn.layer + 1);
      MarkSeamBlocks(raised[static_cast<size_t>(turn.layer)], layer.mask.width, layer.mask.height,
                     fp.triangles[t].box, margin);
    }
    if (!(turn.painted || fp.triangles[t].paintsForever)) continue;
    if (!IsEmpty(layer.changed)) layer.dirty = true;
    layer.lastPaint = ctx.now;
    ++count;
  }
  for (size_t i = 0; i < raised.size(); ++i) {
    if (raised[i].bits.empty()) continue;
    const TexelCoverage* coverage =
        GetTexelCoverage(ctx, ctx.host.MeshGeometry(layers[i].mesh), layers[i].materialIndex);
    if (coverage) FillSeamMargin(layers[i], *coverage, raised[i], margin);
  }
  return count;
}

int32_t PaintAfresh(const BloodContext& ctx, std::vector<MaskLayer>& layers, Wound& wound,
                    const PosedMeshSnapshot& snapshot, float age, SnapshotBounds* shared) {
  size_t work = 0;
  const int32_t count = PaintWound(ctx, layers, wound, snapshot, age, shared, &work);
  wound.work = static_cast<uint32_t>(std::min<size_t>(work, UINT32_MAX));
  return count;
}

}  // namespace

int32_t PaintFlowingWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, Wound& wound,
                          const PosedMeshSnapshot& snapshot, float age, uint32_t poseVersion,
                          SnapshotBounds* shared) {
  const bool held = wound.paintedAge >= 0.0f && wound.paintedPose == poseVersion;
  wound.paintedAge = age;
  wound.paintedPose = poseVersion;
  wound.work = 0;
  // The wound's own mesh must still be there as it was, as for a painting afresh.
  PosedWound pose;
  if (!PoseWound(ctx, wound, snapshot, pose)) return 0;
  if (ctx.config.FollowPose != 0) {
    if (wound.footprint && wound.footprint->poseVersion != poseVersion) wound.footprint.reset();
    // A ped that moves at every painting is painted afresh, as a footprint would be remade
    // each time; one that held its pose for a refresh interval may well hold it longer.
    if (!wound.footprint && !held) return PaintAfresh(ctx, layers, wound, snapshot, age, shared);
  }
  if (!wound.footprint) {
    SnapshotBounds own;
    auto fp = std::make_shared<WoundFootprint>();
    if (!MakeFootprint(ctx, wound, snapshot, pose, shared ? *shared : own, poseVersion, *fp)) {
      return PaintAfresh(ctx, layers, wound, snapshot, age, shared);
    }
    wound.footprint = std::move(fp);
  }
  return PaintFootprint(ctx, layers, wound, *wound.footprint, age);
}

size_t FootprintBytes(const WoundFootprint& footprint) {
  return sizeof(WoundFootprint) + footprint.triangles.capacity() * sizeof(FootprintTriangle) +
         footprint.texels.capacity() * sizeof(FootprintTexel);
}
