#include "render/wound_shape.h"

#include <algorithm>
#include <cmath>

#include "core/float_math.h"
#include "render/texel_amount.h"
#include "render/vector_helpers.h"

namespace {

// A posed triangle thinner than these has no frame to stamp in.
constexpr float kLeastNormal = 1e-8f, kLeastEdge = 1e-6f;
// Gravity along the surface below kLevelSlope runs nowhere: drips run along B instead. At
// kSteepSlope and above the surface counts as wholly upright (flatness 0).
constexpr float kLevelSlope = 0.05f, kSteepSlope = 0.6f;
// The blot's radius: a wound that bleeds fully takes its whole radius, a dry one
// kDryShare of it; it is born at kBornShare of its grown size; on level ground it pools up
// to 1 + kPoolSpread times as wide.
constexpr float kDryShare = 0.4f, kBleedShare = 1.0f - kDryShare;
constexpr float kBornShare = 0.45f, kGrownShare = 0.55f;
constexpr float kPoolSpread = 0.6f;
// Drips run kDripRunRate / FlowTime fast: 95 % of their length by FlowTime.
constexpr float kDripRunRate = 3.0f;
// Drips span at least kShortestDrip metres.
constexpr float kShortestDrip = 0.001f;
// The triangle cull: the blot reaches kBlotReach R from its centre line.
constexpr float kBlotReach = 1.5f;
// Room for rounding in the parts' culls.
constexpr float kCullSlack = 1.001f, kCullGap = 1e-5f;

}  // namespace

bool PoseWound(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
               PosedWound& pose) {
  const auto found = std::find(snapshot.meshes.begin(), snapshot.meshes.end(), wound.mesh);
  if (found == snapshot.meshes.end()) return false;
  const size_t k = static_cast<size_t>(found - snapshot.meshes.begin());
  if (k >= snapshot.positions.size() || snapshot.positions[k].empty()) return false;
  HostGame& host = ctx.host;
  HostGeometry* geometry = host.MeshGeometry(wound.mesh);
  if (geometry != wound.geometry) return false;
  const GeometryView view = host.GetGeometry(geometry);
  if (!view.triangles || wound.triangle < 0 || wound.triangle >= view.triangleCount) return false;
  const HostTriangle& tri = view.triangles[wound.triangle];
  const std::vector<Vec3>& posed = snapshot.positions[k];
  if (tri.vertex[0] >= posed.size() || tri.vertex[1] >= posed.size() ||
      tri.vertex[2] >= posed.size()) {
    return false;
  }
  const Vec3 p0 = posed[tri.vertex[0]], p1 = posed[tri.vertex[1]], p2 = posed[tri.vertex[2]];

  const float u = wound.u, v = wound.v;
  const Vec3 centre = p0 * (1.0f - u - v) + p1 * u + p2 * v;
  const Vec3 e1 = p1 - p0, e2 = p2 - p0;
  const Vec3 n = Cross(e1, e2);
  const float nLength = Length(n), e1Length = Length(e1);
  // Written to fail on NaN as well: a pose that is not finite gives no stamp.
  if (!(nLength >= kLeastNormal) || !(e1Length >= kLeastEdge) || !Finite(centre)) return false;
  const Vec3 normal = Divided(n, nLength);
  const Vec3 tangent = Divided(e1, e1Length);
  const Vec3 binormal = Cross(normal, tangent);

  // Gravity projected onto the surface; too little of it (level ground) runs along B.
  const Vec3 gravity{0.0f, 0.0f, -1.0f};
  const Vec3 g = gravity - normal * Dot(normal, gravity);
  const float slope = Length(g);
  const Vec3 down = slope > kLevelSlope ? Divided(g, slope) : binormal;

  pose.centre = centre;
  pose.normal = normal;
  pose.down = down;
  pose.side = Cross(normal, down);
  pose.axis = portable::Cosf(wound.angle) * tangent + portable::Sinf(wound.angle) * binormal;
  pose.flatness = 1.0f - std::min(1.0f, slope / kSteepSlope);
  return true;
}

void StampAtAge(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age,
                SurfaceKind kind, WoundStamp& stamp) {
  const SurfaceResponse& response = kSurfaceResponses[static_cast<int>(kind)];
  const float flatness = pose.flatness;
  const float f1 = 1.0f - portable::Expf(-age / response.growthTime);
  const float f2 = 1.0f - portable::Expf(-kDripRunRate * age / config.FlowTime);
  const float radius = (wound.bleed * kBleedShare + kDryShare) * wound.radius *
                       (f1 * kGrownShare + kBornShare) * (flatness * kPoolSpread * f1 + 1.0f) *
                       response.radiusScale;

  stamp.centre = pose.centre;
  stamp.normal = pose.normal;
  stamp.down = pose.down;
  stamp.side = pose.side;
  stamp.axis = pose.axis;
  stamp.radius = radius;
  stamp.cut = wound.cut;
  stamp.bleed = wound.bleed;
  stamp.flatness = flatness;
  stamp.edgeInner = response.edgeInner;
  stamp.dripCount = std::min(std::max(wound.dripCount, 0), kMaxDrips);
  for (int i = 0; i < stamp.dripCount; ++i) {
    stamp.dripStart[i] =
        pose.centre + pose.side * wound.dripOffset[i] + pose.down * (kDripStartBelow * radius);
    stamp.dripSpan[i] =
        std::max(kShortestDrip, f2 * wound.dripLength[i] * (1.0f - flatness) * response.dripScale);
    stamp.dripWidth[i] = wound.dripWidth[i];
  }
}

bool BuildWoundStamp(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                     float age, WoundStamp& stamp, SurfaceKind kind) {
  PosedWound pose;
  if (!PoseWound(ctx, wound, snapshot, pose)) return false;
  StampAtAge(ctx.config, wound, pose, age, kind, stamp);
  return true;
}

uint32_t ReachingParts(const WoundStamp& stamp, Vec3 c, float rmax) {
  uint32_t parts = 0;
  const float blot = (texel_amount::kZeroBeyond * stamp.radius + stamp.cut) * kCullSlack + kCullGap;
  // Without a positive radius the blot has no edge to stop at.
  if (!(stamp.radius > 0.0f) || Norm(c - stamp.centre) - rmax <= blot) parts |= kBlotPart;
  for (int i = 0; i < stamp.dripCount; ++i) {
    const Vec3 r = c - stamp.dripStart[i];
    const float width = stamp.dripWidth[i];
    const float across = std::fabs(Dot(r, stamp.side)) - rmax;
    const float along = Dot(r, stamp.down);
    if (across <= texel_amount::kDripWidest * width * kCullSlack + kCullGap &&
        along + rmax >= -width * kCullSlack - kCullGap &&
        along - rmax <= stamp.dripSpan[i] * kCullSlack + kCullGap) {
      parts |= 1u << i;
    }
  }
  return parts;
}

float StampReach(const WoundStamp& stamp) {
  float reach = kBlotReach * stamp.radius + stamp.cut;
  for (int i = 0; i < stamp.dripCount; ++i) {
    reach = std::max(reach, stamp.radius + stamp.dripSpan[i]);
  }
  return reach;
}
