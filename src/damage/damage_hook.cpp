#include "damage/damage_hook.h"

#include <cstdio>

#include "core/log.h"
#include "damage/aim_rays.h"
#include "damage/explosion_wounds.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "damage/wound_segments.h"
#include "host/game_facts.h"
#include "wounds/wound_placement.h"

namespace {

constexpr float kMaxExplosionDistanceSq = 400.0f;  // 20 m

// Milliseconds within which an event of the same code counts as a repeat.
uint32_t RepeatWindowMs(int32_t code) {
  using namespace game::weapon;
  if (IsBulletWeapon(code)) return 40;
  if (code == kChainsaw) return 180;
  if (IsExplosiveWeapon(code) || code == kFall) return 1500;
  if (code == kRammedByCar || code == kRunOverByCar) return 800;
  return 120;
}

// The bone of a body wound: on a limb the upper or lower part by an even or odd draw.
int32_t BodyWoundBone(int32_t piece, bool even) {
  using namespace game::bone;
  switch (piece) {
    case game::piece::kPelvis:
      return kPelvis;
    case game::piece::kLeftArm:
      return even ? kLeftForearm : kLeftUpperArm;
    case game::piece::kRightArm:
      return even ? kRightForearm : kRightUpperArm;
    case game::piece::kLeftLeg:
      return even ? kLeftCalf : kLeftThigh;
    case game::piece::kRightLeg:
      return even ? kRightCalf : kRightThigh;
    case game::piece::kHead:
      return kHead;
    default:
      return even ? kSpine : kUpperTorso;
  }
}

// The active explosion nearest to p within 20 m (earlier record on ties), else a point
// 2 m below p within 2 m of it horizontally. NaN positions never count as near.
Vec3 ExplosionPoint(const BloodContext& ctx, Vec3 p) {
  HostGame& host = ctx.host;
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
  float u1 = NextRandom(ctx.rng);
  float u2 = NextRandom(ctx.rng);
  return {p.x + 4.0f * (u2 - 0.5f), p.y + 4.0f * (u1 - 0.5f), p.z - 2.0f};
}

// The aimed path of the player's bullets: true when the aim or the view segment wounded.
bool AddAimedWound(const WoundContext& ctx, HostPed* ped, HostPed* player, int32_t code,
                   int32_t piece) {
  WoundProfile profile = GetWoundProfile(ctx.config, code, piece);
  Vec3 offset = IsShotgunWeapon(code) ? ShotgunSpread(ctx.rng) : Vec3{0, 0, 0};
  AimRays rays{};
  GetAimRays(ctx.host, player, rays);
  char tag[40];
  std::snprintf(tag, sizeof(tag), "aim w%d p%d", code, piece);
  return AddAimOrViewWound(ctx, ped, rays, offset, code, profile, tag);
}

}  // namespace

void HandlePedDamage(const DamageContext& ctx, HostDamage* record, HostEntity* entity) {
  HostGame& host = ctx.host;
  if (!record || !entity || host.EntityType(entity) != game::kPedEntity) return;
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
  HitRecord& last = FindOrCreateHitRecord(ctx.hits, ped);
  // Unsigned difference: correct across a wrap of the host clock.
  if (last.weapon == code && now - last.clock < RepeatWindowMs(code)) {
    if (IsExplosiveWeapon(code) || code == game::weapon::kChainsaw || last.piece == piece) return;
  }
  last = HitRecord{now, code, piece};

  char tag[32];
  std::snprintf(tag, sizeof(tag), "damage w%d p%d", code, piece);
  const Vec3 p0 = host.EntityPosition(entity);
  HostPed* player = host.FindPlayerPed();

  if (IsBulletWeapon(code) && player && damage.damager == AsEntity(player)) {
    if (AddAimedWound(ctx, ped, player, code, piece)) return;
  }
  if (IsExplosiveWeapon(code)) {
    HandleExplosionDamage(ctx, ped, ExplosionPoint(ctx, p0), tag);
    return;
  }
  if (code == game::weapon::kFall) {
    if (factor >= ctx.config.FallMinDamage) HandleFallDamage(ctx, ped, tag);
    return;
  }

  WoundProfile profile = GetWoundProfile(ctx.config, code, piece);
  if (!(profile.radius > 0.0f)) return;
  if (IsChanceRollWeapon(code)) {
    float limit = piece == game::piece::kHead ? 0.6f : 0.25f;
    if (NextRandom(ctx.rng) > limit) return;
  }
  Vec3 source;
  if (damage.damager) {
    source = host.EntityPosition(damage.damager);
  } else {
    float u1 = NextRandom(ctx.rng);
    float u2 = NextRandom(ctx.rng);
    source = {p0.x + (u2 - 0.5f), p0.y + (u1 - 0.5f), p0.z};
  }
  int32_t woundPiece = piece;
  // Code 50's own piece is meaningless to the body; the tag and profile keep the reported one.
  if (code == game::weapon::kRunOverByCar) {
    woundPiece = NextRandom(ctx.rng) >= 0.5f ? game::piece::kRightLeg : game::piece::kLeftLeg;
  }
  AddBodyWound(ctx, ped, woundPiece, source, profile, tag);
}

bool AddBodyWound(const WoundContext& ctx, HostPed* ped, int32_t piece, Vec3 source,
                  const WoundProfile& profile, const char* tag) {
  const int32_t r = static_cast<int32_t>(1000.0f * NextRandom(ctx.rng));
  const Vec3 bone = GetBonePosition(ctx.host, ped, BodyWoundBone(piece, r % 2 == 0));
  const Vec3 p = JitteredPoint(ctx.rng, bone, 0.12f);

  Vec3 d = p - source;
  d.z *= 0.5f;
  if (Length(d) < 0.01f) {
    float u4 = NextRandom(ctx.rng);
    float u5 = NextRandom(ctx.rng);
    d = {u5 - 0.5f, u4 - 0.5f, 0.0f};
  }
  const Segment segment = SegmentThrough(p, d);
  return AddWound(ctx, {ped, segment.start, segment.end, profile, tag, p, {}, {}});
}
