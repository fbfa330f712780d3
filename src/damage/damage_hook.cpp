#include "damage/damage_hook.h"

#include <cstdio>

#include "core/log.h"
#include "core/system_state.h"
#include "damage/aim_rays.h"
#include "damage/explosion_wounds.h"
#include "damage/hit_history.h"
#include "wounds/wound_placement.h"

namespace {

constexpr float kMaxExplosionDistanceSq = 400.0f;  // 20 m

// Milliseconds within which an event of the same code counts as a repeat.
uint32_t RepeatWindowMs(int32_t code) {
  if (IsBulletWeapon(code)) return 40;
  if (code == 9) return 180;
  if (IsExplosiveWeapon(code) || code == kFallWeapon) return 1500;
  if (code == 49 || code == 50) return 800;
  return 120;
}

int32_t BodyWoundBone(int32_t piece, bool even) {
  switch (piece) {
    case 4:
      return 1;
    case 5:
      return even ? 33 : 32;
    case 6:
      return even ? 23 : 22;
    case 7:
      return even ? 42 : 41;
    case 8:
      return even ? 52 : 51;
    case 9:
      return 5;
    default:
      return even ? 2 : 3;
  }
}

// Three draws u1, u2, u3 give (12 (u3 - 0.5), 12 (u2 - 0.5), 12 (u1 - 0.5)).
Vec3 ShotgunSpread() {
  float u1 = Draw();
  float u2 = Draw();
  float u3 = Draw();
  return {12.0f * (u3 - 0.5f), 12.0f * (u2 - 0.5f), 12.0f * (u1 - 0.5f)};
}

// The active explosion nearest to p within 20 m (earlier record on ties), else a point
// 2 m below p within 2 m of it horizontally. NaN positions never count as near.
Vec3 ExplosionPoint(Vec3 p) {
  HostGame& host = Host();
  float bestSq = kMaxExplosionDistanceSq;
  bool found = false;
  Vec3 best{0, 0, 0};
  for (int i = 0; i < HostGame::kExplosionSlots; ++i) {
    Vec3 position{0, 0, 0};
    if (!host.ExplosionAt(i, &position)) continue;
    Vec3 d = position - p;
    float distanceSq = Dot(d, d);
    if (distanceSq < bestSq) {
      bestSq = distanceSq;
      best = position;
      found = true;
    }
  }
  if (found) return best;
  float u1 = Draw();
  float u2 = Draw();
  return {p.x + 4.0f * (u2 - 0.5f), p.y + 4.0f * (u1 - 0.5f), p.z - 2.0f};
}

// The aimed path of the player's bullets: true when the aim or the view segment wounded.
bool AddAimedWound(HostPed* ped, HostPed* player, Vec3 p0, int32_t code, int32_t piece) {
  WoundProfile profile = GetWoundProfile(code, piece);
  Vec3 offset = IsShotgunWeapon(code) ? ShotgunSpread() : Vec3{0, 0, 0};
  AimRays rays{};
  GetAimRays(player, rays);
  char tag[40];
  std::snprintf(tag, sizeof(tag), "aim w%d p%d", code, piece);
  if (AddWound(ped, rays.aimStart, rays.aimEnd + offset, p0, profile, tag, false, -1.0f, -1.0f)) {
    return true;
  }
  return AddWound(ped, rays.viewStart, rays.viewEnd + offset, p0, profile, tag, false, -1.0f,
                  -1.0f);
}

}  // namespace

void HandlePedDamage(HostDamage* record, HostEntity* entity) {
  HostGame& host = Host();
  if (!record || !entity || host.EntityType(entity) != 3) return;
  const DamageRecord damage = host.ReadDamageRecord(record);
  const int32_t code = damage.weapon;
  const int32_t piece = damage.piece;
  const float factor = damage.factor;
  HostPed* ped = AsPed(entity);

  if (LogEnabled() && AsEntity(host.FindPlayerPed()) == entity) {
    LogLine("player damaged: weapon %d piece %d factor %.1f", code, piece, factor);
  }
  if (factor <= 0.0f && !IsBulletWeapon(code)) return;

  const uint32_t now = host.ClockMs();
  HitRecord& last = FindOrCreateHitRecord(ped);
  // Unsigned difference: correct across a wrap of the host clock.
  if (last.weapon == code && now - last.clock < RepeatWindowMs(code)) {
    if (IsExplosiveWeapon(code) || code == 9 || last.piece == piece) return;
  }
  last = HitRecord{now, code, piece};

  char tag[32];
  std::snprintf(tag, sizeof(tag), "damage w%d p%d", code, piece);
  const Vec3 p0 = host.EntityPosition(entity);
  HostPed* player = host.FindPlayerPed();

  if (IsBulletWeapon(code) && player && damage.damager == AsEntity(player)) {
    if (AddAimedWound(ped, player, p0, code, piece)) return;
  }
  if (IsExplosiveWeapon(code)) {
    HandleExplosionDamage(ped, ExplosionPoint(p0), tag);
    return;
  }
  if (code == kFallWeapon) {
    if (factor >= Config().FallMinDamage) HandleFallDamage(ped, tag);
    return;
  }

  WoundProfile profile = GetWoundProfile(code, piece);
  if (!(profile.radius > 0.0f)) return;
  if (IsChanceRollWeapon(code)) {
    float limit = piece == kHeadPiece ? 0.6f : 0.25f;
    if (Draw() > limit) return;
  }
  Vec3 source;
  if (damage.damager) {
    source = host.EntityPosition(damage.damager);
  } else {
    float u1 = Draw();
    float u2 = Draw();
    source = {p0.x + (u2 - 0.5f), p0.y + (u1 - 0.5f), p0.z};
  }
  int32_t woundPiece = piece;
  // Code 50's own piece is meaningless to the body; the tag and profile keep the reported one.
  if (code == 50) woundPiece = Draw() >= 0.5f ? 8 : 7;
  AddBodyWound(ped, woundPiece, source, profile, tag);
}

bool AddBodyWound(HostPed* ped, int32_t piece, Vec3 source, const WoundProfile& profile,
                  const char* tag) {
  const int32_t r = static_cast<int32_t>(1000.0f * Draw());
  const Vec3 bone = GetBonePosition(ped, BodyWoundBone(piece, r % 2 == 0));
  float u1 = Draw();
  float u2 = Draw();
  float u3 = Draw();
  const Vec3 p = bone + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * 0.12f;

  Vec3 d = p - source;
  d.z *= 0.5f;
  if (Length(d) < 0.01f) {
    float u4 = Draw();
    float u5 = Draw();
    d = {u5 - 0.5f, u4 - 0.5f, 0.0f};
  }
  float length = Length(d);
  if (length > 0.0f) d = {d.x / length, d.y / length, d.z / length};
  d = d * 0.7f;
  return AddWound(ped, p - d, p + d, p, profile, tag, true, -1.0f, -1.0f);
}
