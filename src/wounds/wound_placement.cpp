#include "wounds/wound_placement.h"

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "render/wound_footprint.h"
#include "wounds/blood_memory.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr float kNoHit = 1e30f;
constexpr float kSnapDistanceSq = 0.0625f;  // centroids strictly within 0.25 m

struct TriangleHit {
  int32_t mesh = -1;
  int32_t triangle = -1;
  float u = 0.0f, v = 0.0f;
  float t = kNoHit;
};

// Calls visit(meshIndex, triangleIndex, v0, v1, v2) for every posed triangle whose
// vertices all have positions.
template <typename Visit>
void ForEachPosedTriangle(HostGame& host, const PosedMeshSnapshot& snapshot, Visit visit) {
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  for (size_t m = 0; m < meshCount; ++m) {
    const std::vector<Vec3>& posed = snapshot.positions[m];
    if (posed.empty()) continue;
    const GeometryView view = host.GetGeometry(host.MeshGeometry(snapshot.meshes[m]));
    if (!view.triangles) continue;
    const size_t limit = posed.size();
    for (int32_t t = 0; t < view.triangleCount; ++t) {
      const HostTriangle& tri = view.triangles[t];
      if (tri.vertex[0] >= limit || tri.vertex[1] >= limit || tri.vertex[2] >= limit) continue;
      visit(static_cast<int32_t>(m), t, posed[tri.vertex[0]], posed[tri.vertex[1]],
            posed[tri.vertex[2]]);
    }
  }
}

// Möller-Trumbore against every posed triangle; the hit nearest segStart (or, for the
// last crossing, nearest segEnd) wins, the first one met on equal t. NaN never passes.
TriangleHit IntersectSegment(HostGame& host, const PosedMeshSnapshot& snapshot, Vec3 segStart,
                             Vec3 segEnd, Crossing crossing) {
  TriangleHit best;
  const bool last = crossing == Crossing::kLast;
  const Vec3 d = segEnd - segStart;
  ForEachPosedTriangle(host, snapshot, [&](int32_t m, int32_t t, Vec3 v0, Vec3 v1, Vec3 v2) {
    const Vec3 e1 = v1 - v0, e2 = v2 - v0;
    const Vec3 p = Cross(d, e2);
    const float det = Dot(e1, p);
    if (std::fabs(det) < 1e-9f) return;
    const Vec3 toStart = segStart - v0;
    const float u = Dot(toStart, p) / det;
    if (u < 0.0f || u > 1.0f) return;
    const Vec3 q = Cross(toStart, e1);
    const float v = Dot(d, q) / det;
    if (v < 0.0f || u + v > 1.0f) return;
    const float hit = Dot(e2, q) / det;
    if (!(hit >= 0.0f && hit <= 1.0f)) return;
    if (last ? best.mesh < 0 || hit > best.t : hit < best.t) best = {m, t, u, v, hit};
  });
  return best;
}

TriangleHit SnapToCentroid(HostGame& host, const PosedMeshSnapshot& snapshot, Vec3 snapPoint) {
  TriangleHit best;
  float bestDistanceSq = kSnapDistanceSq;
  ForEachPosedTriangle(host, snapshot, [&](int32_t m, int32_t t, Vec3 v0, Vec3 v1, Vec3 v2) {
    const Vec3 sum = v0 + v1 + v2;
    const Vec3 centroid{sum.x / 3.0f, sum.y / 3.0f, sum.z / 3.0f};
    const Vec3 offset = centroid - snapPoint;
    const float distanceSq = Dot(offset, offset);
    if (distanceSq < bestDistanceSq) {
      bestDistanceSq = distanceSq;
      best = {m, t, 1.0f / 3.0f, 1.0f / 3.0f, kNoHit};
    }
  });
  return best;
}

// The drip count for x drawn drips: nearest integer, halves away from zero, within the
// drip arrays (NaN and negative counts give none).
int32_t DripCount(float x) {
  const float n = std::round(x);
  if (!(n > 0.0f)) return 0;
  return n < static_cast<float>(kMaxDrips) ? static_cast<int32_t>(n) : kMaxDrips;
}

}  // namespace

bool AddWound(const WoundContext& ctx, const WoundRequest& request, PlacedWound* placed) {
  if (placed) *placed = {};
  const WoundProfile& profile = request.profile;
  // Written to refuse NaN too.
  if (!(profile.radius > 0.0f)) return false;
  HostGame& host = ctx.host;
  const BloodConfig& config = ctx.config;
  RandomGenerator& rng = ctx.rng;
  HostPed* ped = request.ped;
  const char* tag = request.tag ? request.tag : "";
  void* pedAddress = static_cast<void*>(ped);
  const int model = host.PedModelIndex(ped);

  PosedMeshSnapshot snapshot;
  if (!TakePosedMeshSnapshot(ctx, ped, snapshot)) {
    if (LogEnabled())
      LogLine("%s ped %p model %d: no skinned mesh, skipped", tag, pedAddress, model);
    return false;
  }
  TriangleHit hit =
      IntersectSegment(host, snapshot, request.segStart, request.segEnd, request.crossing);
  if (hit.mesh < 0 && request.snapPoint) hit = SnapToCentroid(host, snapshot, *request.snapPoint);
  if (hit.mesh < 0) {
    if (request.snapPoint && LogEnabled()) {
      LogLine("%s ped %p model %d: mesh not found near hit point, skipped", tag, pedAddress, model);
    }
    return false;
  }

  PedBloodState& state = FindOrCreateBloodState(ctx, ped);
  state.lastHitClock = host.ClockMs();
  const float bleed = request.bleed ? *request.bleed : ComputeBleed(ctx, ped, state.bloodLoss);
  AddBloodLoss(config, state,
               request.lossIncrement ? *request.lossIncrement
                                     : 1.0f / static_cast<float>(config.MaxBulletWounds));
  state.woundCounter += 1;
  // A NaN bleed has no blood to show either.
  if (!(bleed > 0.0f)) {
    if (LogEnabled()) {
      LogLine("%s ped %p model %d: wound %d, bled out, nothing shown", tag, pedAddress, model,
              state.woundCounter);
    }
    return true;
  }

  HostMesh* mesh = snapshot.meshes[static_cast<size_t>(hit.mesh)];
  Wound wound{};
  wound.mesh = mesh;
  wound.geometry = host.MeshGeometry(mesh);
  wound.triangle = hit.triangle;
  wound.u = hit.u;
  wound.v = hit.v;
  wound.time = ctx.now;
  wound.radius = profile.radius * (0.85f + 0.3f * NextRandom(rng));
  wound.cut = profile.cut;
  wound.angle = NextRandom(rng) * 6.2832f;
  wound.bleed = bleed;
  wound.dripCount = 0;
  if (config.Drips != 0) {
    // The range in 64 bits: extreme settings must not overflow.
    const float range = static_cast<float>(static_cast<int64_t>(profile.dripsMax) -
                                           static_cast<int64_t>(profile.dripsMin));
    const float x =
        (static_cast<float>(profile.dripsMin) + NextRandom(rng) * (range + 0.99f)) * bleed;
    wound.dripCount = DripCount(x);
  }
  const float spread = wound.cut > 0.0f ? wound.cut : 0.6f * wound.radius;
  for (int32_t i = 0; i < wound.dripCount; ++i) {
    const float ra = NextRandom(rng);
    const float rb = NextRandom(rng);
    const float rc = NextRandom(rng);
    wound.dripOffset[i] = (2.0f * ra - 1.0f) * spread;
    wound.dripLength[i] = config.DripLength * profile.dripScale * bleed * (0.3f + 0.7f * rb);
    wound.dripWidth[i] = std::max(0.012f, wound.radius) * (0.15f + 0.15f * rc);
  }

  const int32_t painted =
      PaintFlowingWound(ctx, state.layers, wound, snapshot, 0.0f, NotePose(ctx, state, snapshot));
  state.wounds.push_back(wound);
  if (state.wounds.size() > kMaxFlowingWounds) {
    // A budget may have kept the oldest from its latest repaint: it leaves at its age.
    Wound& oldest = state.wounds.front();
    const float leaving = std::min(config.FlowTime, ctx.now - oldest.time);
    if (config.PaintBudget > 0.0f && oldest.paintedAge < leaving) {
      PaintFlowingWound(ctx, state.layers, oldest, snapshot, leaving,
                        NotePose(ctx, state, snapshot));
    }
    state.wounds.erase(state.wounds.begin());
    // A repaint cut short goes on with the same wound.
    if (state.refreshCursor > 0) --state.refreshCursor;
  }
  if (LogEnabled()) {
    const char* how = !(hit.t < 1e29f)                      ? "snapped"
                      : request.crossing == Crossing::kLast ? "exit"
                                                            : "ray hit mesh";
    LogLine("%s ped %p model %d: wound %d, %s, r %.3f cut %.3f bleed %.2f, %d tris painted", tag,
            pedAddress, model, state.woundCounter, how, static_cast<double>(wound.radius),
            static_cast<double>(wound.cut), static_cast<double>(bleed), painted);
  }
  if (placed) *placed = {true, hit.t, bleed};
  EvictLeastRecentlyHit(ctx, ped);
  EnforceBloodMemory(ctx, ped);
  // A recorded wound is placed, painted or not: callers must not place it a second time.
  return true;
}
