#include "damage/explosion_wounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>

#include "core/log.h"
#include "core/nan_last_order.h"
#include "damage/aim_rays.h"
#include "damage/wound_segments.h"
#include "host/game_facts.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

using namespace game::bone;

constexpr std::array<int32_t, 12> kExplosionBones = {
    kHead,         kUpperTorso,  kSpine,     kPelvis,   kRightUpperArm, kRightForearm,
    kLeftUpperArm, kLeftForearm, kLeftThigh, kLeftCalf, kRightThigh,    kRightCalf};
constexpr std::array<int32_t, 16> kFallBones = {
    kHead,       kUpperTorso,   kSpine,       kPelvis,   kRightUpperArm, kRightForearm,
    kRightHand,  kLeftUpperArm, kLeftForearm, kLeftHand, kLeftThigh,     kLeftCalf,
    kRightThigh, kRightCalf,    kLeftFoot,    kRightFoot};
constexpr float kLargeRadii[3] = {0.2f, 0.14f, 0.1f};
constexpr WoundProfile kFallProfile = {0.07f, 0.0f, 0.5f, 0, 1};

struct BoneDistance {
  float distance;
  int32_t bone;
};

// Ascending by distance, equal distances by bone number. NaN-safe on purpose: NaN
// distances (a broken bone or explosion position) sort after every number, so the order
// stays a strict weak ordering.
bool Nearer(const BoneDistance& a, const BoneDistance& b) {
  const int order = CompareNanLast(a.distance, b.distance);
  return order != 0 ? order < 0 : a.bone < b.bone;
}

}  // namespace

void HandleExplosionDamage(const WoundContext& ctx, HostPed* ped, Vec3 point, const char* tag) {
  float bleed;
  {
    PedBloodState& state = FindOrCreateBloodState(ctx, ped);
    bleed = ComputeBleed(ctx, ped, state.bloodLoss);
    AddBloodLoss(ctx.config, state, 1.0f / static_cast<float>(ctx.config.MaxExplosionWounds));
  }
  if (!(bleed > 0.0f)) {
    if (LogEnabled()) {
      LogLine("%s ped %p: explosion, bled out, nothing shown", tag, static_cast<void*>(ped));
    }
    return;
  }

  std::array<BoneDistance, kExplosionBones.size()> nearest;
  for (size_t i = 0; i < kExplosionBones.size(); ++i) {
    nearest[i] = {Length(GetBonePosition(ctx.host, ped, kExplosionBones[i]) - point),
                  kExplosionBones[i]};
  }
  std::sort(nearest.begin(), nearest.end(), Nearer);

  const float d0 = nearest[0].distance;
  // 1 within 1 m of the nearest bone, falling to 0.3 at 7.3 m; NaN counts as far.
  float s = 1.0f - (d0 - 1.0f) / 9.0f;
  if (!(s > 0.3f)) s = 0.3f;
  if (s > 1.0f) s = 1.0f;

  for (int i = 0; i < 3; ++i) {
    WoundProfile large{s * kLargeRadii[i], 0.0f, 0.8f, 0, 2};
    AddExplosionWound(ctx, ped, nearest[static_cast<size_t>(i)].bone, point, large, tag, 0.0f,
                      bleed);
  }
  constexpr int32_t kFarther = static_cast<int32_t>(kExplosionBones.size()) - 3;
  for (int i = 0; i < 3; ++i) {
    float u = NextRandom(ctx.rng);
    float v = NextRandom(ctx.rng);
    WoundProfile small{s * (0.03f + 0.03f * u), 0.0f, 0.6f, 0, 1};
    int32_t k = std::min(static_cast<int32_t>(static_cast<float>(kFarther) * v), kFarther - 1);
    AddExplosionWound(ctx, ped, nearest[static_cast<size_t>(3 + k)].bone, point, small, tag, 0.0f,
                      bleed);
  }
  if (LogEnabled()) {
    LogLine("%s ped %p: explosion %.1f m away, closest part bone %d, bleed %.2f", tag,
            static_cast<void*>(ped), d0, nearest[0].bone, bleed);
  }
}

bool AddExplosionWound(const WoundContext& ctx, HostPed* ped, int32_t bone, Vec3 source,
                       const WoundProfile& profile, const char* tag, float lossIncrement,
                       float bleed) {
  const Vec3 p = JitteredPoint(ctx.rng, GetBonePosition(ctx.host, ped, bone), 0.08f);
  Vec3 d = p - source;
  if (Length(d) < 0.01f) d = {0.0f, 0.0f, -1.0f};
  const Segment segment = SegmentThrough(p, d);
  return AddWound(ctx, {ped, segment.start, segment.end, profile, tag, p, lossIncrement, bleed});
}

void HandleFallDamage(const WoundContext& ctx, HostPed* ped, const char* tag) {
  float lowest = 1.0e9f;
  int32_t lowestBone = -1;
  Vec3 landing{0, 0, 0};
  for (int32_t bone : kFallBones) {
    Vec3 p = GetBonePosition(ctx.host, ped, bone);
    if (p.z < lowest) {  // equal heights keep the earlier bone; NaN never wins
      lowest = p.z;
      lowestBone = bone;
      landing = p;
    }
  }
  if (lowestBone == kLeftFoot || lowestBone == kRightFoot) return;

  float bleed = ComputeBleed(ctx, ped, FindOrCreateBloodState(ctx, ped).bloodLoss);
  if (LogEnabled()) {
    LogLine("%s ped %p: fall, landed on bone %d, bleed %.2f", tag, static_cast<void*>(ped),
            lowestBone, bleed);
  }
  const Segment segment = SegmentThrough(landing, {0.0f, 0.0f, 1.0f});
  AddWound(ctx, {ped, segment.start, segment.end, kFallProfile, tag, landing,
                 1.0f / static_cast<float>(ctx.config.MaxFallWounds), bleed});
}
