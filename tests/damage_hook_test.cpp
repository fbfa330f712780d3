#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/system_state.h"
#include "damage/damage_hook.h"
#include "damage/hit_history.h"
#include "host/sim_host.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Number of draws that lead the generator from before to after (-1 beyond 100).
int DrawsBetween(uint32_t before, uint32_t after) {
  RandomGenerator rng{before};
  for (int n = 0; n <= 100; ++n) {
    if (rng.state == after) return n;
    NextRandom(rng);
  }
  return -1;
}

// A generator state whose next draw is exactly k * 2^-24.
uint32_t StateDrawing(uint32_t k) {
  uint32_t inverse = 1664525u;  // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 1664525u * inverse;
  return ((k << 8) - 1013904223u) * inverse;
}

class DamageHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSystemState();
    State().host = &sim;
    sim.clock = 100000;
    victim = sim.AddPed({0, 0, 0});
    shooter = AsEntity(sim.AddPed({0, -5, 0}));
  }

  // One damage event at the given clock; returns the draws it took.
  int Damage(HostEntity* damager, float factor, uint8_t piece, int32_t code, uint32_t at) {
    sim.clock = at;
    uint32_t before = State().rng.state;
    HandlePedDamage(sim.AddDamage(damager, factor, piece, code), AsEntity(victim));
    return DrawsBetween(before, State().rng.state);
  }
  bool Accepted(uint32_t at) {
    const HitRecord* record = FindHitRecord(victim);
    return record && record->clock == at;
  }

  SimHost sim;
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
    State().hitHistory.clear();
    const uint32_t base = c.events.front().at == 0xFFFFFFF0u ? 0 : 10000;
    for (const Event& e : c.events) {
      SCOPED_TRACE(e.at);
      Damage(shooter, 10.0f, e.piece, e.code, base + e.at);
      EXPECT_EQ(Accepted(base + e.at), e.accepted);
    }
  }
}

TEST_F(DamageHookTest, NonBulletEventsWithoutDamageAndNonPedsAreIgnored) {
  EXPECT_EQ(Damage(shooter, 0.0f, 3, 0, 1000), 0);
  EXPECT_EQ(Damage(shooter, -1.0f, 9, 4, 1000), 0);
  EXPECT_EQ(FindHitRecord(victim), nullptr);  // not even a record

  EXPECT_GT(Damage(shooter, 0.0f, 3, 22, 1000), 0);  // bullets count without damage
  EXPECT_TRUE(Accepted(1000));

  State().hitHistory.clear();
  const uint32_t before = State().rng.state;
  SimEntity* car = sim.AddEntity(2);
  car->type = 2 | 0xF0;  // only the low three bits tell the type
  HandlePedDamage(sim.AddDamage(shooter, 10, 3, 22), reinterpret_cast<HostEntity*>(car));
  HandlePedDamage(sim.AddDamage(shooter, 10, 3, 22), nullptr);
  HandlePedDamage(nullptr, AsEntity(victim));
  EXPECT_TRUE(State().hitHistory.empty());
  EXPECT_EQ(State().rng.state, before);
}

TEST_F(DamageHookTest, ChanceRollDecidesBeforeAnyOtherDraw) {
  // Body wound draws with a damager: the bone pick and the three jitters.
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
    State().rng.state = StateDrawing(row.draw);
    at += 5000;
    EXPECT_EQ(Damage(shooter, 10.0f, row.piece, row.code, at), row.draws);
  }
}

TEST_F(DamageHookTest, WithoutADamagerTheSourceTakesTwoDraws) {
  EXPECT_EQ(Damage(nullptr, 10.0f, 3, 4, 1000), 2 + 4);
}

TEST_F(DamageHookTest, PlayerBulletsTryTheAimedPathFirst) {
  sim.player = AsPed(shooter);
  // No mesh: both segments miss, then a body wound with the player as source.
  EXPECT_EQ(Damage(shooter, 10.0f, 3, 22, 1000), 4);
  EXPECT_EQ(Damage(shooter, 10.0f, 3, 25, 2000), 3 + 4);  // shotgun spread first
  // Someone else's bullets and the player's knife take the body-wound path only.
  EXPECT_EQ(Damage(nullptr, 10.0f, 3, 25, 3000), 2 + 4);
  EXPECT_EQ(Damage(shooter, 10.0f, 3, 4, 4000), 4);
}

TEST_F(DamageHookTest, ExplosionPointComesFromTheNearestActiveExplosion) {
  // A bled-out ped: the explosion handler itself takes no draws.
  State().bloodStates[victim].bloodLoss = 1.0f;
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
    EXPECT_EQ(Damage(shooter, 10.0f, 3, 16, at), row.draws);
  }
}

TEST_F(DamageHookTest, FallsBelowTheMinimumDamageLeaveNoTrace) {
  Damage(nullptr, 7.9f, 3, 54, 1000);
  EXPECT_TRUE(Accepted(1000));
  EXPECT_EQ(State().bloodStates.count(victim), 0u);
  Damage(nullptr, 8.0f, 3, 54, 5000);
  EXPECT_EQ(State().bloodStates.count(victim), 1u);
}

TEST_F(DamageHookTest, HostileFloatsDoNotDerailTheHandler) {
  SimHost::Sim(victim)->position = {kNaN, kNaN, kNaN};
  SimHost::Sim(shooter)->position = {kNaN, 0, kNaN};
  sim.player = AsPed(shooter);
  sim.aimDirection = {kNaN, kNaN, kNaN};
  uint32_t at = 1000;
  for (int32_t code : {0, 4, 9, 16, 22, 25, 50, 54}) {
    for (float factor : {kNaN, 10.0f, std::numeric_limits<float>::infinity()}) {
      at += 5000;
      Damage(shooter, factor, 9, code, at);
      Damage(nullptr, factor, 9, code, at + 2000);
    }
  }
  SUCCEED();
}

}  // namespace
