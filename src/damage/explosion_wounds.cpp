#include "damage/explosion_wounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <utility>

#include "core/log.h"
#include "core/system_state.h"
#include "damage/aim_rays.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

constexpr std::array<int32_t, 12> kExplosionBones = {5, 3, 2, 1, 22, 23, 32, 33, 41, 42, 51, 52};
constexpr std::array<int32_t, 16> kFallBones = {5,  3,  2,  1,  22, 23, 24, 32,
                                                33, 34, 41, 42, 51, 52, 43, 53};
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
  bool aNan = std::isnan(a.distance);
  bool bNan = std::isnan(b.distance);
  if (aNan != bNan) return bNan;
  if (!aNan && a.distance != b.distance) return a.distance < b.distance;
  return a.bone < b.bone;
}

}  // namespace

void HandleExplosionDamage(HostPed* ped, Vec3 point, const char* tag) {
  float bleed;
  {
    PedBloodState& state = FindOrCreateBloodState(ped);
    bleed = ComputeBleed(ped, state.bloodLoss);
    AddBloodLoss(state, 1.0f / static_cast<float>(Config().MaxExplosionWounds));
  }
  if (!(bleed > 0.0f)) {
    if (LogEnabled()) {
      LogLine("%s ped %p: explosion, bled out, nothing shown", tag, static_cast<void*>(ped));
    }
    return;
  }

  std::array<BoneDistance, kExplosionBones.size()> nearest;
  for (size_t i = 0; i < kExplosionBones.size(); ++i) {
    nearest[i] = {Length(GetBonePosition(ped, kExplosionBones[i]) - point), kExplosionBones[i]};
  }
  std::sort(nearest.begin(), nearest.end(), Nearer);

  const float d0 = nearest[0].distance;
  // 1 within 1 m of the nearest bone, falling to 0.3 at 7.3 m; NaN counts as far.
  float s = 1.0f - (d0 - 1.0f) / 9.0f;
  if (!(s > 0.3f)) s = 0.3f;
  if (s > 1.0f) s = 1.0f;

  for (int i = 0; i < 3; ++i) {
    WoundProfile large{s * kLargeRadii[i], 0.0f, 0.8f, 0, 2};
    AddExplosionWound(ped, nearest[static_cast<size_t>(i)].bone, point, large, tag, 0.0f, bleed);
  }
  constexpr int32_t kFarther = static_cast<int32_t>(kExplosionBones.size()) - 3;
  for (int i = 0; i < 3; ++i) {
    float u = Draw();
    float v = Draw();
    WoundProfile small{s * (0.03f + 0.03f * u), 0.0f, 0.6f, 0, 1};
    int32_t k = std::min(static_cast<int32_t>(static_cast<float>(kFarther) * v), kFarther - 1);
    AddExplosionWound(ped, nearest[static_cast<size_t>(3 + k)].bone, point, small, tag, 0.0f,
                      bleed);
  }
  if (LogEnabled()) {
    LogLine("%s ped %p: explosion %.1f m away, closest part bone %d, bleed %.2f", tag,
            static_cast<void*>(ped), d0, nearest[0].bone, bleed);
  }
}

bool AddExplosionWound(HostPed* ped, int32_t bone, Vec3 source, const WoundProfile& profile,
                       const char* tag, float lossIncrement, float bleed) {
  const Vec3 b = GetBonePosition(ped, bone);
  float u1 = Draw();
  float u2 = Draw();
  float u3 = Draw();
  const Vec3 p = b + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * 0.08f;
  Vec3 d = p - source;
  if (Length(d) < 0.01f) d = {0.0f, 0.0f, -1.0f};
  float length = Length(d);
  if (length > 0.0f) d = {d.x / length, d.y / length, d.z / length};
  d = d * 0.7f;
  return AddWound(ped, p - d, p + d, p, profile, tag, true, lossIncrement, bleed);
}

void HandleFallDamage(HostPed* ped, const char* tag) {
  float lowest = 1.0e9f;
  int32_t lowestBone = -1;
  Vec3 landing{0, 0, 0};
  for (int32_t bone : kFallBones) {
    Vec3 p = GetBonePosition(ped, bone);
    if (p.z < lowest) {  // equal heights keep the earlier bone; NaN never wins
      lowest = p.z;
      lowestBone = bone;
      landing = p;
    }
  }
  if (lowestBone == 43 || lowestBone == 53) return;

  float bleed = ComputeBleed(ped, FindOrCreateBloodState(ped).bloodLoss);
  if (LogEnabled()) {
    LogLine("%s ped %p: fall, landed on bone %d, bleed %.2f", tag, static_cast<void*>(ped),
            lowestBone, bleed);
  }
  const Vec3 up{0.0f, 0.0f, 0.7f};
  AddWound(ped, landing - up, landing + up, landing, kFallProfile, tag, true,
           1.0f / static_cast<float>(Config().MaxFallWounds), bleed);
}
