#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "damage/damage_hook.h"
#include "damage/explosion_wounds.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "support/damage_support.h"
#include "support/wound_world.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint32_t kHalf = 1u << 23;  // a draw of exactly 0.5, in units of 2^-24

// Every bone the intake asks for, each marked by its own mesh: a 0.4 m square facing -y
// centred on the bone, 1 m apart along x. The host's bone query answers with the squares'
// centres; the skin hierarchy knows none of these bones.
const int32_t kMarkerBones[] = {1, 2, 3, 5, 22, 23, 24, 32, 33, 34, 41, 42, 43, 51, 52, 53};
constexpr size_t kMarkerCount = sizeof(kMarkerBones) / sizeof(kMarkerBones[0]);

Vec3 MarkerCentre(size_t i) { return {static_cast<float>(i), 0.0f, 1.0f}; }

class DamageHookTest : public WoundTest {
 protected:
  void SetUp() override {
    WoundTest::SetUp();
    sim.clock = 100000;
    victim = sim.AddPed({0, 0, 0});
    shooter = AsEntity(sim.AddPed({0, -5, 0}));
  }

  HostPed* AddMarkerPed(Vec3 position) {
    std::vector<HostGeometry*> geometries;
    for (size_t i = 0; i < kMarkerCount; ++i) {
      GridSpec shape;
      shape.origin = MarkerCentre(i) + Vec3{-0.2f, 0.0f, -0.2f};
      shape.du = {0.4f, 0, 0};
      shape.dv = {0, 0, 0.4f};
      shape.columns = shape.rows = 2;
      geometries.push_back(AddGrid(shape));
    }
    HostRenderObject* object = sim.AddRenderObject(AddBones(1));
    for (HostGeometry* geometry : geometries) sim.AddMesh(object, geometry);
    HostPed* ped = sim.AddPed(position, object);
    for (size_t i = 0; i < kMarkerCount; ++i) {
      SimHost::Sim(ped)->queryBones.push_back({kMarkerBones[i], MarkerCentre(i)});
    }
    return ped;
  }

  // The bone whose marker holds the wound (-1 for none).
  int32_t BoneOf(HostPed* ped, const Wound& wound) {
    const std::vector<HostMesh*>& meshes = MeshesOf(ped);
    auto found = std::find(meshes.begin(), meshes.end(), wound.mesh);
    return found == meshes.end() ? -1 : kMarkerBones[found - meshes.begin()];
  }
  // The bone whose marker holds the ped's newest wound (-1 without one).
  int32_t WoundedBone(HostPed* ped) {
    const PedBloodState* state = FindBloodState(tables, ped);
    if (!state || state->wounds.empty()) return -1;
    return BoneOf(ped, state->wounds.back());
  }

  // One damage event at the given clock; returns the draws it took.
  int Damage(HostEntity* damager, float factor, uint8_t piece, int32_t code, uint32_t at,
             HostPed* target = nullptr) {
    sim.clock = at;
    uint32_t before = rng.state;
    HandlePedDamage(Context(), sim.AddDamage(damager, factor, piece, code),
                    AsEntity(target ? target : victim));
    return DrawsBetween(before, rng.state);
  }
  bool Accepted(uint32_t at) {
    const HitRecord* record = FindHitRecord(hits, victim);
    return record && record->clock == at;
  }

  HostPed* victim = nullptr;
  HostEntity* shooter = nullptr;
};

TEST_F(DamageHookTest, RepeatsWithinTheWeaponWindowAreDropped) {
  struct Event {
    int32_t code;
    uint8_t piece;
    uint32_t at;
    bool accepted;
  };
  struct Case {
    const char* name;
    std::vector<Event> events;
  };
  const Case cases[] = {
      {"bullet, same piece 30 ms later", {{22, 3, 0, true}, {22, 3, 30, false}}},
      {"bullet, same piece 50 ms later", {{22, 3, 0, true}, {22, 3, 50, true}}},
      {"bullet window edge", {{22, 3, 0, true}, {22, 3, 39, false}, {22, 3, 40, true}}},
      {"bullet, other piece 30 ms later", {{22, 3, 0, true}, {22, 4, 30, true}}},
      {"bullet, other code 10 ms later", {{22, 3, 0, true}, {23, 3, 10, true}}},
      {"code 9 every 100 ms, any piece",
       {{9, 3, 0, true}, {9, 4, 100, false}, {9, 5, 200, true}, {9, 3, 300, false}}},
      {"explosion, other piece", {{16, 3, 0, true}, {16, 5, 1499, false}, {16, 5, 1500, true}}},
      {"explosion, other explosive code", {{16, 3, 0, true}, {19, 3, 10, true}}},
      {"fall", {{54, 3, 0, true}, {54, 3, 1499, false}, {54, 3, 1500, true}}},
      {"fall, other piece", {{54, 3, 0, true}, {54, 4, 10, true}}},
      {"code 49", {{49, 3, 0, true}, {49, 3, 799, false}, {49, 4, 799, true}}},
      {"code 50", {{50, 3, 0, true}, {50, 3, 800, true}}},
      {"other codes", {{4, 3, 0, true}, {4, 3, 119, false}, {4, 3, 120, true}}},
      {"the window counts from the first accepted event",
       {{22, 3, 0, true}, {22, 3, 30, false}, {22, 3, 60, true}}},
      {"across a clock wrap", {{22, 3, 0xFFFFFFF0u, true}, {22, 3, 0x10, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hits.records.clear();
    const uint32_t base = c.events.front().at == 0xFFFFFFF0u ? 0 : 10000;
    for (const Event& e : c.events) {
      SCOPED_TRACE(e.at);
      Damage(shooter, 10.0f, e.piece, e.code, base + e.at);
      EXPECT_EQ(Accepted(base + e.at), e.accepted);
    }
  }
}

TEST_F(DamageHookTest, NonBulletEventsWithoutDamageAndNonPedsAreIgnored) {
  EXPECT_EQ(Damage(shooter, 0.0f, game::piece::kTorso, game::weapon::kUnarmed, 1000), 0);
  EXPECT_EQ(Damage(shooter, -1.0f, 9, 4, 1000), 0);
  EXPECT_EQ(FindHitRecord(hits, victim), nullptr);  // not even a record

  EXPECT_GT(Damage(shooter, 0.0f, game::piece::kTorso, game::weapon::kPistol, 1000),
            0);  // bullets count without damage
  EXPECT_TRUE(Accepted(1000));

  hits.records.clear();
  const uint32_t before = rng.state;
  SimEntity* car = sim.AddEntity(2);
  car->type = 2 | 0xF0;  // only the low three bits tell the type
  HandlePedDamage(Context(), sim.AddDamage(shooter, 10, game::piece::kTorso, game::weapon::kPistol),
                  reinterpret_cast<HostEntity*>(car));
  HandlePedDamage(Context(), sim.AddDamage(shooter, 10, game::piece::kTorso, game::weapon::kPistol),
                  nullptr);
  HandlePedDamage(Context(), nullptr, AsEntity(victim));
  EXPECT_TRUE(hits.records.empty());
  EXPECT_EQ(rng.state, before);
}

TEST_F(DamageHookTest, ChanceRollDecidesBeforeAnyOtherDraw) {
  // Body wound draws with a damager and a ped without mesh: bone pick and three jitters.
  constexpr int kBodyWound = 4;
  struct Row {
    int32_t code;
    uint8_t piece;
    uint32_t draw;  // the roll, in units of 2^-24
    int draws;
  };
  const uint32_t k06 = 10066330;  // 0.6f exactly
  const uint32_t k025 = 4194304;  // 0.25f exactly
  const Row rows[] = {
      {0, 9, k06, 1 + kBodyWound},
      {0, 9, k06 + 1, 1},
      {0, 3, 0, 0},  // radius 0: no roll at all
      {2, 3, k025, 1 + kBodyWound},
      {2, 3, k025 + 1, 1},
      {15, 9, k06 + 1, 1},
      {10, 9, 0, 0},  // code 10's profile is empty
      {4, 3, k06 + 1, kBodyWound},
      {8, 3, k06 + 1, kBodyWound},
      {9, 3, k06 + 1, kBodyWound},
      {22, 3, k06 + 1, kBodyWound},
      {49, 3, k06 + 1, kBodyWound},
      {50, 3, k06 + 1, 1 + kBodyWound},  // re-picked piece
      {37, 3, 0, 0},
  };
  uint32_t at = 1000;
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "code " << row.code << " piece " << int(row.piece));
    rng.state = StateDrawing(row.draw);
    at += 5000;
    EXPECT_EQ(Damage(shooter, 10.0f, row.piece, row.code, at), row.draws);
  }
}

TEST_F(DamageHookTest, PlayerBulletsTryTheAimedPathFirst) {
  sim.player = AsPed(shooter);
  // No mesh: both segments miss, then a body wound with the player as source.
  EXPECT_EQ(Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kPistol, 1000), 4);
  EXPECT_EQ(Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kShotgun, 2000),
            3 + 4);  // shotgun spread first
  // Someone else's bullets and the player's knife take the body-wound path only; without
  // a damager the source takes two draws.
  EXPECT_EQ(Damage(nullptr, 10.0f, game::piece::kTorso, game::weapon::kShotgun, 3000), 2 + 4);
  EXPECT_EQ(Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kKnife, 4000), 4);
}

TEST_F(DamageHookTest, ExplosionPointComesFromTheNearestActiveExplosion) {
  // A bled-out ped: the explosion handler itself takes no draws.
  FindOrCreateBloodState(Context(), victim).bloodLoss = 1.0f;
  struct Row {
    const char* name;
    Vec3 position;
    bool active;
    int draws;
  };
  const Row rows[] = {
      {"active, 19.9 m", {0, 19.9f, 0}, true, 0},
      {"active, 20 m", {0, 0, 20.0f}, true, 2},
      {"inactive, 1 m", {1, 0, 0}, false, 2},
      {"active, NaN", {kNaN, 0, 0}, true, 2},
  };
  uint32_t at = 1000;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim.explosionActive.fill(false);
    sim.explosionActive[7] = row.active;
    sim.explosionPosition[7] = row.position;
    at += 5000;
    EXPECT_EQ(Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kGrenade, at), row.draws);
  }
}

TEST_F(DamageHookTest, ExplosionLineNamesTheChosenPoint) {
  // Every bone but bone 1 sits at the ped's position (the host query's answer for bones it
  // does not list); bone 1 sits 1.5 m below, which tells the two explosions at 2 m apart.
  SimHost::Sim(victim)->position = {10, 20, 30};
  SimHost::Sim(victim)->queryBones = {{1, {10, 20, 28.5f}}};
  sim.explosionActive[2] = true;
  sim.explosionPosition[2] = {10, 23, 30};  // 3 m
  sim.explosionActive[5] = true;
  sim.explosionPosition[5] = {10, 20, 28};  // 2 m: 0.5 m from bone 1
  sim.explosionActive[9] = true;
  sim.explosionPosition[9] = {12, 20, 30};      // 2 m too, but a later record
  sim.explosionPosition[11] = {10.5f, 20, 30};  // 0.5 m, inactive
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kExplosion, 1000);
  // Without one, the fallback lies 2 m below within 2 m horizontally: here x - 1.6 and
  // y + 1.6, which leaves the ped's position (3 m) nearer than bone 1, now beside it.
  sim.explosionActive.fill(false);
  SimHost::Sim(victim)->queryBones = {{1, {12, 20, 28}}};
  const uint32_t seed = FindSeed([](RandomGenerator probe) {
    const float u1 = NextRandom(probe), u2 = NextRandom(probe);
    return std::fabs(u1 - 0.9f) < 0.01f && std::fabs(u2 - 0.1f) < 0.01f;
  });
  RandomGenerator replay{seed};
  const float u1 = NextRandom(replay);
  const float u2 = NextRandom(replay);
  rng.state = seed;
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kSatchelCharge, 5000);
  const float expected = Length(Vec3{4.0f * (u2 - 0.5f), 4.0f * (u1 - 0.5f), -2.0f});

  std::vector<std::string> lines = ReadLogLines();
  const std::string ped = PointerText(victim);
  auto has = [&](const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has("damage w51 p3 ped " + ped + ": explosion 0.5 m away, closest part bone 1,"));
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", static_cast<double>(expected));
  EXPECT_TRUE(
      has("damage w39 p3 ped " + ped + ": explosion " + text + " m away, closest part bone 2,"));
}

TEST_F(DamageHookTest, FallsBelowTheMinimumDamageLeaveNoTrace) {
  Damage(nullptr, 7.9f, game::piece::kTorso, game::weapon::kFall, 1000);
  EXPECT_TRUE(Accepted(1000));
  EXPECT_EQ(FindBloodState(tables, victim), nullptr);
  Damage(nullptr, 8.0f, game::piece::kTorso, game::weapon::kFall, 5000);
  EXPECT_NE(FindBloodState(tables, victim), nullptr);
}

TEST_F(DamageHookTest, PiecesChooseTheirBones) {
  HostPed* ped = AddMarkerPed({0, 0, 1});
  SimHost::Sim(shooter)->position = {7.5f, -5.0f, 1.0f};
  struct Row {
    uint8_t piece;
    int32_t even, odd;
  };
  const Row rows[] = {{4, 1, 1}, {5, 33, 32}, {6, 23, 22}, {7, 42, 41}, {8, 52, 51},
                      {9, 5, 5}, {3, 2, 3},   {0, 2, 3},   {255, 2, 3}};
  const uint32_t kOdd = 16778;  // 1000 * draw = 1.00005
  uint32_t at = 1000;
  for (const Row& row : rows) {
    for (bool even : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "piece " << int(row.piece) << (even ? " even" : " odd"));
      RemovePedBlood(Context(), ped);
      rng.state = StateDrawing(even ? 0 : kOdd);
      at += 1000;
      Damage(shooter, 10.0f, row.piece, game::weapon::kKnife, at, ped);
      EXPECT_EQ(WoundedBone(ped), even ? row.even : row.odd);
    }
  }
}

TEST_F(DamageHookTest, Code50AlwaysWoundsALeg) {
  HostPed* ped = AddMarkerPed({0, 0, 1});
  SimHost::Sim(shooter)->position = {7.5f, -5.0f, 1.0f};
  uint32_t at = 1000;
  // The re-pick draw decides: 0.5 and more is piece 8 (bones 51, 52), below is piece 7.
  rng.state = StateDrawing(kHalf);
  Damage(shooter, 10.0f, game::piece::kHead, game::weapon::kRunOverByCar, at += 1000, ped);
  EXPECT_TRUE(WoundedBone(ped) == 51 || WoundedBone(ped) == 52) << WoundedBone(ped);
  rng.state = StateDrawing(kHalf - 1);
  Damage(shooter, 10.0f, game::piece::kHead, game::weapon::kRunOverByCar, at += 1000, ped);
  EXPECT_TRUE(WoundedBone(ped) == 41 || WoundedBone(ped) == 42) << WoundedBone(ped);

  std::set<int32_t> bones;
  rng.state = 777;
  for (int i = 0; i < 40; ++i) {
    RemovePedBlood(Context(), ped);
    Damage(i % 2 ? shooter : nullptr, 10.0f, static_cast<uint8_t>(3 + i % 7), 50, at += 1000, ped);
    bones.insert(WoundedBone(ped));
  }
  EXPECT_EQ(bones, (std::set<int32_t>{41, 42, 51, 52}));
}

TEST_F(DamageHookTest, BodyWoundOfAMissedAimedShotComesFromThePlayer) {
  HostPed* ped = AddMarkerPed({0, 0, -50});
  const Vec3 player{2.0f, -5.0f, 1.3f};
  SimHost::Sim(shooter)->position = player;
  sim.player = AsPed(shooter);
  sim.aimDirection = {0, -1, 0};  // both segments point away from the ped
  sim.viewDirection = {0, -1, 0};

  rng.state = StateDrawing(0);  // even: piece 3 gives bone 2
  RandomGenerator replay = rng;
  NextRandom(replay);
  float u1 = NextRandom(replay), u2 = NextRandom(replay), u3 = NextRandom(replay);
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kPistol, 1000, ped);
  ASSERT_EQ(WoundedBone(ped), 2);

  // Where the segment from the player's side through the jittered point meets the marker.
  const Vec3 p = MarkerCentre(1) + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * 0.12f;
  Vec3 d = p - player;
  d.z *= 0.5f;
  const Vec3 expected = p - d * (p.y / d.y);

  const Wound& wound = FindBloodState(tables, ped)->wounds.back();
  const Vec3 centre = WoundCentre(Context(), ped, wound);
  EXPECT_NEAR(centre.x, expected.x, 1e-4f);
  EXPECT_NEAR(centre.y, expected.y, 1e-4f);
  EXPECT_NEAR(centre.z, expected.z, 1e-4f);
}

// Without a damager the source is (x + u2 - 0.5, y + u1 - 0.5, z); a source on the hit point
// falls back to the direction (u5 - 0.5, u4 - 0.5, 0). Each segment meets the marker plane
// y = 0 where the draws in that order say.
TEST_F(DamageHookTest, BodyWoundDirectionsTakeTheirDrawsInOrder) {
  HostPed* ped = AddMarkerPed({1, -0.8f, 1});
  const WoundProfile profile = GetWoundProfile(config, game::weapon::kKnife, game::piece::kTorso);
  rng.state = 4242;
  for (bool damager : {false, true}) {
    SCOPED_TRACE(damager ? "source on the hit point" : "no damager");
    RemovePedBlood(Context(), ped);
    RandomGenerator replay = rng;
    const float s1 = damager ? 0.5f : NextRandom(replay);
    const float s2 = damager ? 0.5f : NextRandom(replay);
    const int32_t bone = static_cast<int32_t>(1000.0f * NextRandom(replay)) % 2 == 0 ? 2 : 3;
    const float u1 = NextRandom(replay), u2 = NextRandom(replay), u3 = NextRandom(replay);
    const Vec3 p = MarkerCentre(bone == 2 ? 1 : 2) + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * 0.12f;
    Vec3 d = p - Vec3{1 + (s2 - 0.5f), -0.8f + (s1 - 0.5f), 1};
    d.z *= 0.5f;
    if (damager) {
      const float u4 = NextRandom(replay), u5 = NextRandom(replay);
      d = {u5 - 0.5f, u4 - 0.5f, 0};
      AddBodyWound(Context(), ped, game::piece::kTorso, p, profile, "body");
    } else {
      Damage(nullptr, 10.0f, game::piece::kTorso, game::weapon::kKnife, 5000, ped);
    }
    ASSERT_EQ(WoundedBone(ped), bone);
    const Vec3 expected = p - d * (p.y / d.y);
    const Vec3 centre = WoundCentre(Context(), ped, FindBloodState(tables, ped)->wounds.back());
    EXPECT_NEAR(centre.x, expected.x, 1e-4f);
    EXPECT_NEAR(centre.z, expected.z, 1e-4f);
  }
}

// Explosion, fall and body wound segments reach 0.7 m either side of the hit point: of two
// walls across the segment, 0.68 m ahead and 0.72 m behind the point, the one ahead is hit.
TEST_F(DamageHookTest, WoundSegmentsReachSevenTenthsOfAMetre) {
  const WoundProfile profile{0.02f, 0, 1, 0, 1};
  enum Kind { kExplosion, kFall, kBody };
  for (Kind kind : {kExplosion, kFall, kBody}) {
    SCOPED_TRACE(kind);
    const Vec3 bone{0, 0, 1};
    RandomGenerator replay = rng;
    if (kind == kBody) NextRandom(replay);
    Vec3 p = bone;
    if (kind != kFall) {
      const float u1 = NextRandom(replay), u2 = NextRandom(replay), u3 = NextRandom(replay);
      p = bone + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * (kind == kBody ? 0.12f : 0.08f);
    }
    const Vec3 dir = kind == kFall ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    const Vec3 across = kind == kFall ? Vec3{0, 0.5f, 0} : Vec3{0, 0, 0.5f};
    auto wall = [&](float along) {
      GridSpec shape;
      shape.origin = p + dir * along - Vec3{0.25f, 0, 0} - across * 0.5f;
      shape.du = {0.5f, 0, 0};
      shape.dv = across;
      return AddGrid(shape);
    };
    HostPed* ped = AddPedWith({wall(0.68f), wall(-0.72f)});
    SimHost::Sim(ped)->position = bone;
    const Vec3 source = p - Vec3{0, 10, 0};
    if (kind == kExplosion)
      AddExplosionWound(Context(), ped, game::bone::kHead, source, profile, "explosion", 0, 1);
    if (kind == kFall) HandleFallDamage(Context(), ped, "fall");
    if (kind == kBody) AddBodyWound(Context(), ped, game::piece::kTorso, source, profile, "body");
    const PedBloodState* state = FindBloodState(tables, ped);
    ASSERT_TRUE(state && !state->wounds.empty());
    EXPECT_EQ(state->wounds.back().mesh, MeshesOf(ped)[0]);
  }
}

// Small explosion wounds go to entry 3 + int(9 v) of the bones by distance; the large ones
// drip with 0 to 2 drips (before rounding) of 0.8 times DripLength. Replayed over six seeds.
TEST_F(DamageHookTest, ExplosionWoundsTakeTheirBonesAndDrips) {
  config.Drips = 1;
  config.DripLength = 0.2f;
  HostPed* ped = AddMarkerPed({0, 0, 1});
  // The markers lie along x, so from far off on the left they sort in marker order.
  const int32_t byDistance[] = {1, 2, 3, 5, 22, 23, 32, 33, 41, 42, 51, 52};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    RemovePedBlood(Context(), ped);
    rng.state = seed;
    RandomGenerator replay = rng;
    HandleExplosionDamage(Context(), ped, {-10, -10, 1}, "explosion");
    const PedBloodState* state = FindBloodState(tables, ped);
    ASSERT_TRUE(state && state->wounds.size() == 6u);
    for (size_t i = 0; i < 6; ++i) {
      const bool large = i < 3;
      const float v = large ? 0.0f : (NextRandom(replay), NextRandom(replay));
      for (int k = 0; k < 5; ++k) NextRandom(replay);  // jitter, radius, angle
      const Wound& wound = state->wounds[i];
      const float drips = NextRandom(replay) * (large ? 2.99f : 1.99f);
      ASSERT_EQ(wound.dripCount, static_cast<int32_t>(std::lround(drips))) << i;
      for (int j = 0; j < wound.dripCount; ++j) {
        NextRandom(replay);
        const float rb = NextRandom(replay);
        NextRandom(replay);
        if (large) {
          EXPECT_FLOAT_EQ(wound.dripLength[j], 0.2f * 0.8f * (0.3f + 0.7f * rb));
        }
      }
      if (!large) {
        EXPECT_EQ(BoneOf(ped, wound), byDistance[3 + static_cast<int>(9.0f * v)]) << i;
      }
    }
    EXPECT_EQ(rng.state, replay.state);
  }
}

// A wound recorded on a mesh it cannot paint is still the shot's one wound: neither the
// camera segment nor a body wound follows it.
TEST_F(DamageHookTest, AnUnpaintedWoundIsStillTheShotsOnlyWound) {
  HostPed* ped = AddMarkerPed({0, 0, 1});
  for (HostMesh* mesh : MeshesOf(ped)) SimHost::Sim(Host().MeshGeometry(mesh))->texCoords.clear();
  sim.player = AsPed(shooter);
  sim.aimFromShooter = false;
  sim.aimOrigin = sim.viewEye = {1, -5, 1};  // straight at bone 2's marker
  sim.aimDirection = sim.viewDirection = {0, 1, 0};
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kPistol, 1000, ped);
  const PedBloodState* state = FindBloodState(tables, ped);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->woundCounter, 1);
  EXPECT_NE(ReadLogLines().back().find(", 0 tris painted"), std::string::npos);
}

TEST_F(DamageHookTest, ShotgunAimMissesButTheCameraSegmentHits) {
  config.MaskSize = 512;  // fine masks: the pellet's small wound paints for sure
  ProceduralPed ped = AddProceduralPed(sim);
  sim.player = AsPed(shooter);
  SimHost::Sim(shooter)->position = {0, 4, 1};
  sim.aimFromShooter = false;
  sim.aimOrigin = {5, 4, 1.6f};  // the aim passes a metre beside the ped
  sim.aimDirection = {0, -1, 0};
  sim.viewEye = {0.06f, 7, 2.1f};
  const Vec3 chest = ProceduralBonePosition(sim, ped, game::bone::kUpperTorso) + Vec3{0.06f, 0, 0};
  sim.viewDirection = (chest - sim.viewEye) * (1.0f / Length(chest - sim.viewEye));

  // A generator state whose three spread draws lie close to 0.5: a pellet near the centre.
  const uint32_t seed = FindSeed([](RandomGenerator probe) {
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(NextRandom(probe) - 0.5f) >= 0.05f) return false;
    }
    return true;
  });
  RandomGenerator replay{seed};
  const float u1 = NextRandom(replay), u2 = NextRandom(replay), u3 = NextRandom(replay);
  const Vec3 offset{12.0f * (u3 - 0.5f), 12.0f * (u2 - 0.5f), 12.0f * (u1 - 0.5f)};
  rng.state = seed;
  EXPECT_EQ(Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kShotgun, 1000, ped.ped),
            3 + 2);  // spread, one wound

  const PedBloodState* state = FindBloodState(tables, ped.ped);
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(state->wounds.size(), 1u);
  // The wound lies on the camera segment, with the pellet's spread at its end.
  const Vec3 centre = WoundCentre(Context(), ped.ped, state->wounds[0]);
  const Vec3 end = sim.viewEye + sim.viewDirection * 150.0f + offset;
  const Vec3 line = (end - sim.viewEye) * (1.0f / Length(end - sim.viewEye));
  const Vec3 fromEye = centre - sim.viewEye;
  EXPECT_LT(Length(fromEye - line * Dot(fromEye, line)), 1e-3f);
  const std::string expected =
      "aim w25 p3 ped " + PointerText(ped.ped) + " model 7: wound 1, ray hit mesh";
  bool found = false;
  for (const std::string& logLine : ReadLogLines()) found |= logLine.rfind(expected, 0) == 0;
  EXPECT_TRUE(found);
}

TEST_F(DamageHookTest, PlayerLineAndTagsAreWrittenAsTheyStand) {
  HostPed* ped = AddMarkerPed({0, 0, 1});
  sim.player = ped;
  SimHost::Sim(shooter)->position = {3.0f, -5.0f, 1.0f};
  rng.state = StateDrawing(0);
  Damage(shooter, 12.34f, game::piece::kHead, game::weapon::kKnife, 1000, ped);
  Damage(shooter, 0.0f, 200, 0, 5000, ped);  // no damage: only the player line

  const PedBloodState* state = FindBloodState(tables, ped);
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(state->wounds.size(), 1u);
  char radius[16];
  std::snprintf(radius, sizeof(radius), "%.3f", static_cast<double>(state->wounds[0].radius));
  std::vector<std::string> lines;
  for (const std::string& line : ReadLogLines()) {
    if (line.rfind("blood geometry for ", 0) != 0) lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "player damaged: weapon 4 piece 9 factor 12.3");
  const std::string wound = "damage w4 p9 ped " + PointerText(ped) +
                            " model 0: wound 1, ray hit mesh, r " + radius +
                            " cut 0.045 bleed 1.00, ";
  EXPECT_EQ(lines[1].substr(0, wound.size()), wound);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 13), " tris painted");
  EXPECT_EQ(lines[2], "player damaged: weapon 0 piece 200 factor 0.0");
}

TEST_F(DamageHookTest, NoPlayerLineWithLogOffOrForOtherPeds) {
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kKnife,
         1000);  // victim is not the player
  sim.player = victim;
  SetLogEnabled(false);
  Damage(shooter, 10.0f, game::piece::kTorso, game::weapon::kKnife, 5000);
  for (const std::string& line : ReadLogLines()) EXPECT_EQ(line.find("player"), std::string::npos);
}

TEST_F(DamageHookTest, HostileFloatsDoNotDerailTheHandler) {
  HostPed* ped = AddMarkerPed({kNaN, kNaN, kNaN});
  SimHost::Sim(ped)->queryBones[3].second = {kNaN, 0, 1};
  SimHost::Sim(shooter)->position = {kNaN, 0, kNaN};
  sim.player = AsPed(shooter);
  sim.aimDirection = {kNaN, kNaN, kNaN};
  sim.explosionActive[0] = true;
  sim.explosionPosition[0] = {kNaN, kNaN, kNaN};
  uint32_t at = 1000;
  for (int32_t code : {0, 4, 9, 16, 22, 25, 50, 54}) {
    for (float factor : {kNaN, 10.0f, std::numeric_limits<float>::infinity()}) {
      for (uint8_t piece : {3, 9}) {
        Damage(shooter, factor, piece, code, at += 5000, ped);
        Damage(nullptr, factor, piece, code, at += 5000, ped);
      }
    }
  }
  // Whatever was recorded is a sound wound on one of the ped's own triangles.
  const PedBloodState* state = FindBloodState(tables, ped);
  ASSERT_NE(state, nullptr);
  EXPECT_FALSE(state->wounds.empty());
  EXPECT_LE(state->wounds.size(), 24u);
  EXPECT_GE(state->woundCounter, static_cast<int32_t>(state->wounds.size()));
  for (const Wound& wound : state->wounds) {
    const std::vector<HostMesh*>& meshes = MeshesOf(ped);
    ASSERT_NE(std::find(meshes.begin(), meshes.end(), wound.mesh), meshes.end());
    EXPECT_GE(wound.triangle, 0);
    EXPECT_LT(wound.triangle, SimHost::Sim(wound.geometry)->triangleCount);
    EXPECT_TRUE(wound.u >= 0.0f && wound.v >= 0.0f && wound.u + wound.v <= 1.0f);
    EXPECT_TRUE(wound.radius > 0.0f && wound.radius < 1.0f) << wound.radius;
    EXPECT_TRUE(wound.bleed > 0.0f && wound.bleed <= 1.0f) << wound.bleed;
    EXPECT_TRUE(wound.dripCount >= 0 && wound.dripCount <= 6);
  }
  const HitRecord* last = FindHitRecord(hits, ped);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->clock, at);
  EXPECT_EQ(last->weapon, game::weapon::kFall);
  EXPECT_EQ(last->piece, game::piece::kHead);
}

}  // namespace
