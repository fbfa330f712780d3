#include "damage/corpse_shots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/log.h"
#include "core/nan_last_order.h"
#include "damage/aim_rays.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "damage/wound_segments.h"
#include "host/game_facts.h"

namespace {

constexpr float kMaxAlongRay = 150.0f;
constexpr float kMaxBesideRay = 2.0f;
constexpr uint32_t kRecentDamageMs = 150;
constexpr int32_t kCorpsePiece = game::piece::kTorso;

struct Candidate {
  float t;  // metres along the aim ray from aimStart
  HostPed* ped;
  Vec3 position;
};

// Ascending by t, equal t by the ped's address. NaN-safe on purpose even though NaN
// candidates are filtered out: NaN sorts last, so the order stays a strict weak ordering.
bool Before(const Candidate& a, const Candidate& b) {
  const int order = CompareNanLast(a.t, b.t);
  return order != 0 ? order < 0
                    : reinterpret_cast<uintptr_t>(a.ped) < reinterpret_cast<uintptr_t>(b.ped);
}

}  // namespace

void ShootCorpses(const DamageContext& ctx, HostPed* shooter, int32_t code, int32_t count) {
  HostGame& host = ctx.host;
  AimRays rays{};
  GetAimRays(host, shooter, rays);
  Vec3 dir = rays.aimEnd - rays.aimStart;
  float length = Length(dir);
  if (length > 0.0f) dir = {dir.x / length, dir.y / length, dir.z / length};

  const uint32_t now = host.ClockMs();
  std::vector<Candidate> candidates;
  int32_t dead = 0;
  const int32_t slots = host.PedPoolSlotCount();
  for (int32_t i = 0; i < slots; ++i) {
    HostPed* ped = host.PedPoolSlot(i);
    if (!ped || ped == shooter) continue;
    float health = host.PedHealth(ped);
    if (health <= 0.0f) ++dead;
    // Written so that NaN health, t or distance rules a ped out.
    if (!(health <= 0.0f) || !host.PedRenderObject(ped)) continue;
    Vec3 position = host.EntityPosition(AsEntity(ped));
    Vec3 v = position - rays.aimStart;
    float t = Dot(v, dir);
    if (!(t >= 0.0f && t <= kMaxAlongRay)) continue;
    if (!(Length(v - dir * t) <= kMaxBesideRay)) continue;
    const HitRecord* last = FindHitRecord(ctx.hits, ped);
    if (last && now - last->clock < kRecentDamageMs) continue;
    candidates.push_back({t, ped, position});
  }

  if (LogEnabled()) {
    LogLine("shot w%d x%d: %zu corpses near the aim ray (%d dead peds in pool)", code, count,
            candidates.size(), dead);
  }
  if (candidates.empty()) return;
  std::sort(candidates.begin(), candidates.end(), Before);

  const WoundProfile profile = GetWoundProfile(ctx.config, code, kCorpsePiece);
  const int pellets = IsShotgunWeapon(code) ? 4 : 1;
  for (int32_t shot = 0; shot < count; ++shot) {
    for (int pellet = 0; pellet < pellets; ++pellet) {
      const Vec3 offset = IsShotgunWeapon(code) ? ShotgunSpread(ctx.rng) : Vec3{0, 0, 0};
      char tag[32];
      std::snprintf(tag, sizeof(tag), "corpse w%d", code);
      for (const Candidate& corpse : candidates) {
        if (!host.IsLineClear(rays.aimStart, corpse.position)) continue;
        if (AddAimOrViewWound(ctx, corpse.ped, rays, offset, code, profile, tag)) break;
      }
    }
  }
}
