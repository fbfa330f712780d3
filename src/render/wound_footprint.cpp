#include "render/wound_footprint.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <memory>

#include "render/footprint_listing.h"
#include "render/material_coverage.h"
#include "render/seam_margin.h"
#include "render/value_noise.h"

namespace {

using texel_amount::kLeastAmount;
using texel_amount::TexelValue;

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

// Evaluates a listed texel at the stamp's age, writes its rise and notes what its
// triangle painted; returns the texel's byte.
uint8_t EvaluateTexel(FootprintTexel& texel, FootprintTriangle& e, TriangleTurn& turn,
                      MaskLayer& layer, const WoundStamp& stamp, uint8_t current) {
  float amount = 0.0f;
  if (turn.parts & kBlotPart) {
    amount = texel_amount::BlotAmount(stamp, texel.q, texel.dist, texel.noise);
  }
  const float blot = amount;
  for (uint32_t drips = turn.parts & texel.drips; drips != 0; drips &= drips - 1) {
    texel_amount::AddDrip(stamp, LowestBit(drips), texel.q, texel.noise, amount);
  }
  const float final = value_noise::Clamp01(amount);
  if (!(final >= kLeastAmount)) return current;
  turn.painted = true;
  // The blot only grows: twice the least amount leaves rounding no say.
  if (blot >= 2.0f * kLeastAmount) e.paintsForever = true;
  const uint8_t value = TexelValue(texel.jitter, final);
  if (value <= current) return current;
  SetMaskAt(layer.mask, texel.column, texel.row, value);
  IncludeRect(layer.changed, {texel.column, texel.row, texel.column + 1, texel.row + 1});
  turn.raised = true;
  return value;
}

// What becomes of a listed texel after a painting: evaluated again at the next, dropped,
// or parked, when it can no longer rise but may be what tells that its triangle paints.
enum class TexelFate { kKeep, kDrop, kPark };

// Paints one listed texel at the stamp's age. A texel that took the most the wound can
// give it is dropped once its triangle paints at every later age, and parked until then;
// one nothing will ever paint is dropped.
TexelFate PaintTexel(FootprintTexel& texel, FootprintTriangle& e, TriangleTurn& turn,
                     MaskLayer& layer, const WoundStamp& stamp, const WoundStamp& oldest) {
  const uint8_t current = MaskAt(layer.mask, texel.column, texel.row);
  const uint8_t most = TexelValue(texel.jitter, 1.0f);
  if (current >= most) {
    if (e.paintsForever) return TexelFate::kDrop;
    if (turn.painted) return TexelFate::kPark;
  }
  const uint8_t now = EvaluateTexel(texel, e, turn, layer, stamp, current);
  // At its first evaluation a texel learns the most it can ever take.
  if (texel.cap == 0) {
    for (uint32_t drips = texel.drips; drips != 0; drips &= drips - 1) {
      const int i = LowestBit(drips);
      if (texel_amount::DripNeverReaches(stamp, i, texel.q, texel.noise)) {
        texel.drips = static_cast<uint8_t>(texel.drips & ~(1u << i));
      }
    }
    texel.cap = texel.drips ? most : BlotCap(oldest, texel);
    if (texel.cap == 0) return TexelFate::kDrop;
  }
  if (now < texel.cap && now < most) return TexelFate::kKeep;
  return e.paintsForever ? TexelFate::kDrop : TexelFate::kPark;
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
    assert(index < fp.triangles.size() && index < turns.size());
    size_t end = n + 1;
    while (end < count && fp.texels[end].triangle == index) ++end;
    FootprintTriangle& e = fp.triangles[index];
    TriangleTurn& turn = turns[index];
    if (turn.layer < 0 || turn.parts == 0) {
      for (; n < end; ++n, ++kept) {
        if (kept != n) fp.texels[kept] = fp.texels[n];
      }
      continue;
    }
    MaskLayer& layer = layers[static_cast<size_t>(turn.layer)];
    const int kind = static_cast<int>(e.kind);
    for (; n < end; ++n) {
      assert(e.live > 0);
      // In place: most texels stay, and rewriting each would double the memory traffic.
      FootprintTexel& texel = fp.texels[n];
      switch (PaintTexel(texel, e, turn, layer, stamps[kind], oldest[kind])) {
        case TexelFate::kKeep:
          if (kept != n) fp.texels[kept] = texel;
          ++kept;
          break;
        case TexelFate::kDrop:
          --e.live;
          break;
        case TexelFate::kPark:
          ++e.parked;
          fp.parked.push_back(texel);
          break;
      }
    }
  }
  fp.texels.resize(kept);
  // A footprint that shrank a lot gives its memory back.
  if (fp.texels.capacity() > 64 && kept < fp.texels.capacity() / 4) fp.texels.shrink_to_fit();
}

// A triangle whose evaluated texels painted nothing may still paint through its parked
// ones: they are evaluated, in the order they were parked, until one of its own paints.
// A parked texel has taken all it can: these evaluations write nothing, so one pass over
// the parked texels serves every triangle, in any order.
void PaintParked(std::vector<MaskLayer>& layers, WoundFootprint& fp, const WoundStamp* stamps,
                 std::vector<TriangleTurn>& turns) {
  const auto waits = [&](size_t t) {
    const FootprintTriangle& e = fp.triangles[t];
    const TriangleTurn& turn = turns[t];
    return turn.layer >= 0 && turn.parts != 0 && !turn.painted && !e.paintsForever && e.parked > 0;
  };
  bool any = false;
  for (size_t t = 0; t < fp.triangles.size() && !any; ++t) any = waits(t);
  if (!any) return;
  for (FootprintTexel& texel : fp.parked) {
    assert(texel.triangle < fp.triangles.size());
    if (!waits(texel.triangle)) continue;
    FootprintTriangle& e = fp.triangles[texel.triangle];
    TriangleTurn& turn = turns[texel.triangle];
    MaskLayer& layer = layers[static_cast<size_t>(turn.layer)];
    EvaluateTexel(texel, e, turn, layer, stamps[static_cast<int>(e.kind)],
                  MaskAt(layer.mask, texel.column, texel.row));
  }
}

// Moves the waiting texels a painting at age may reach to the evaluated ones.
void WakeTexels(WoundFootprint& fp, float age) {
  std::vector<WaitingTexel>& waiting = fp.waiting;
  while (!waiting.empty() && waiting.back().after < age) {
    fp.texels.push_back(waiting.back().texel);
    waiting.pop_back();
  }
  if (waiting.capacity() > 64 && waiting.size() < waiting.capacity() / 4) waiting.shrink_to_fit();
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
                       WoundFootprint& fp, float age, size_t workLimit) {
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
  if (fp.unlisted > 0) work += Extend(config, wound, fp, age, workLimit);
  WakeTexels(fp, age);
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
  PaintParked(layers, fp, stamps, turns);

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
                    const PosedWound& pose, const PosedMeshSnapshot& snapshot, float age,
                    SnapshotBounds* shared) {
  size_t work = 0;
  const int32_t count = PaintPosedWound(ctx, layers, wound, pose, snapshot, age, shared, &work);
  wound.work = static_cast<uint32_t>(std::min<size_t>(work, UINT32_MAX));
  return count;
}

}  // namespace

int32_t PaintFlowingWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, Wound& wound,
                          const PosedMeshSnapshot& snapshot, float age, uint32_t poseVersion,
                          SnapshotBounds* shared, size_t workLimit) {
  if (wound.footprint) wound.footprint->listingCut = false;
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
    if (!wound.footprint && !held)
      return PaintAfresh(ctx, layers, wound, pose, snapshot, age, shared);
  }
  if (!wound.footprint) {
    SnapshotBounds own;
    auto fp = std::make_shared<WoundFootprint>();
    if (!MakeFootprint(ctx, wound, snapshot, pose, shared ? *shared : own, poseVersion, *fp)) {
      return PaintAfresh(ctx, layers, wound, pose, snapshot, age, shared);
    }
    wound.footprint = std::move(fp);
  }
  return PaintFootprint(ctx, layers, wound, *wound.footprint, age, workLimit);
}

bool PaintingCutShort(const Wound& wound) { return wound.footprint && wound.footprint->listingCut; }

uint32_t PaintingWork(const BloodConfig& config, const Wound& wound, float age,
                      uint32_t poseVersion) {
  const WoundFootprint* fp = wound.footprint.get();
  if (!fp || (config.FollowPose != 0 && fp->poseVersion != poseVersion)) return wound.work;
  // Waiting texels are kept latest first: those that wake by age are at the back.
  const auto waits =
      std::partition_point(fp->waiting.begin(), fp->waiting.end(),
                           [age](const WaitingTexel& w) { return !(w.after < age); });
  const size_t work = fp->texels.size() + static_cast<size_t>(fp->waiting.end() - waits) +
                      ListingWork(config, wound, *fp, age);
  return static_cast<uint32_t>(std::min<size_t>(work, UINT32_MAX));
}

size_t FootprintBytes(const WoundFootprint& footprint) {
  return sizeof(WoundFootprint) + footprint.triangles.capacity() * sizeof(FootprintTriangle) +
         footprint.texels.capacity() * sizeof(FootprintTexel) +
         footprint.waiting.capacity() * sizeof(WaitingTexel) +
         footprint.parked.capacity() * sizeof(FootprintTexel);
}
