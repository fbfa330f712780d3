// A scripted street battle on the simulated host: peds are shot, stabbed, blown up, fall,
// die, are shot again as corpses, are removed and replaced, and the game resets twice.
// Everything runs through the game's hooked routines and call sites.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "support/sim_fixture.h"
#include "wounds/blood_state.h"

namespace {

constexpr int kMaxBloodyPeds = 3;
constexpr int kPeds = 7;

class Battle : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    WriteIni("[Blood]\nMaskSize=64\nMaxBloodyPeds=3\nFlowTime=0.5\nDrips=1\n");
    sim.clock = 5000;
    Start();
  }

  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(dice() % n); }

  ProceduralPed Spawn(int slot) {
    const float angle = 0.9f * static_cast<float>(slot);
    const float radius = 3.0f + static_cast<float>(Pick(5));
    const PedPose poses[] = {PedPose::Standing, PedPose::Standing, PedPose::ArmsRaised};
    return AddProceduralPed(sim, {{radius * std::cos(angle), radius * std::sin(angle), 0},
                                  static_cast<float>(Pick(628)) / 100.0f,
                                  poses[Pick(3)]});
  }

  bool Dead(HostPed* ped) { return sim.PedHealth(ped) <= 0.0f; }

  // At most MaxBloodyPeds peds keep blood, apart from the player and the ped just wounded.
  void CheckBloodyPeds(HostPed* lastTarget) {
    size_t others = 0;
    for (const auto& entry : State().tables.bloodStates) {
      others += entry.first != sim.player && entry.first != lastTarget;
    }
    EXPECT_LE(others, static_cast<size_t>(kMaxBloodyPeds));
    maxStates = std::max(maxStates, State().tables.bloodStates.size());
  }

  std::mt19937 dice{20240611u};
  size_t maxStates = 0;
};

TEST_F(Battle, ScriptedBattleKeepsItsLimits) {
  ProceduralPed player = AddProceduralPed(sim);
  sim.player = player.ped;
  std::vector<ProceduralPed> peds;
  std::vector<uint32_t> deathClock(kPeds, 0);
  for (int i = 0; i < kPeds; ++i) peds.push_back(Spawn(i));

  const int32_t codes[] = {22, 22, 23, 24, 25, 27, 29, 30, 31, 33, 38, 4,
                           8,  9,  0,  2,  3,  15, 49, 50, 54, 37, 10, 52};
  const uint8_t pieces[] = {3, 4, 5, 6, 7, 8, 9};
  const float factors[] = {0.0f, 5.0f, 8.0f, 12.0f, 30.0f, 60.0f};
  int damageEvents = 0, fireEvents = 0, deaths = 0, removals = 0;

  for (int event = 0; event < 400; ++event) {
    sim.RunFor(100 + Pick(500), 100);
    if (event == 150) sim.GameReset(HostEvent::FirstReset);
    if (event == 300) sim.GameReset(HostEvent::SecondReset);
    if (Dead(player.ped) && Pick(4) == 0) SimHost::Sim(player.ped)->health = 100.0f;  // respawn

    // The game clears corpses away a while after death and brings new peds.
    for (int i = 0; i < kPeds; ++i) {
      HostPed* ped = peds[static_cast<size_t>(i)].ped;
      if (!Dead(ped)) continue;
      if (deathClock[static_cast<size_t>(i)] == 0)
        deathClock[static_cast<size_t>(i)] = sim.clock, ++deaths;
      if (sim.clock - deathClock[static_cast<size_t>(i)] > 20000) {
        sim.GameRemovePed(ped);
        EXPECT_EQ(FindBloodState(State().tables, ped), nullptr);
        EXPECT_EQ(FindHitRecord(State().hits, ped), nullptr);
        peds[static_cast<size_t>(i)] = Spawn(i);
        deathClock[static_cast<size_t>(i)] = 0;
        ++removals;
      }
    }

    const ProceduralPed& target = peds[Pick(kPeds)];
    HostPed* victim = Pick(10) == 0 ? player.ped : target.ped;
    const uint32_t kind = Pick(10);
    if (kind < 6) {
      // A hit: the player's shots come with the fire routine and the player's aim.
      const int32_t code = codes[Pick(sizeof(codes) / sizeof(codes[0]))];
      HostEntity* damager = nullptr;
      const uint32_t who = Pick(3);
      if (who == 0 && victim != player.ped) damager = AsEntity(player.ped);
      if (who == 1) damager = AsEntity(peds[Pick(kPeds)].ped);
      if (damager == AsEntity(player.ped) && IsBulletWeapon(code)) {
        sim.AimAt(sim.PedBonePosition(victim, 3) +
                  Vec3{0.05f, 0, 0.1f * static_cast<float>(Pick(5))});
        sim.GameFire(sim.AddWeapon(code), player.ped);
        ++fireEvents;
      }
      sim.GameDamage(sim.AddDamage(damager, factors[Pick(6)], pieces[Pick(7)], code),
                     AsEntity(victim));
      ++damageEvents;
      CheckBloodyPeds(victim);
    } else if (kind < 8) {
      // A grenade lands between two peds.
      const ProceduralPed& other = peds[Pick(kPeds)];
      const Vec3 a = sim.EntityPosition(AsEntity(victim));
      const Vec3 b = sim.EntityPosition(AsEntity(other.ped));
      sim.explosionActive[static_cast<size_t>(Pick(16))] = true;
      std::fill(sim.explosionPosition.begin(), sim.explosionPosition.end(), (a + b) * 0.5f);
      const int32_t code = Pick(2) ? 16 : 51;
      sim.GameDamage(sim.AddDamage(nullptr, 70.0f, 3, code), AsEntity(victim));
      sim.GameDamage(sim.AddDamage(nullptr, 70.0f, 3, code), AsEntity(other.ped));
      sim.explosionActive.fill(false);
      damageEvents += 2;
      CheckBloodyPeds(other.ped);
    } else {
      // The player shoots at a body on the ground, or at nothing in particular.
      const int32_t code = Pick(2) ? 25 : 22;
      sim.AimAt(sim.PedBonePosition(target.ped, 1) + Vec3{0.04f, 0, 0});
      sim.GameFire(sim.AddWeapon(code), player.ped);
      ++fireEvents;
      CheckBloodyPeds(target.ped);
    }
    if (event % 5 == 0) {
      for (const ProceduralPed& ped : peds) sim.GameRenderPed(ped.ped);
      sim.GameRenderPed(player.ped);
    }
  }

  EXPECT_GE(damageEvents, 250);
  EXPECT_GE(fireEvents, 60);
  EXPECT_GE(deaths, 3);
  EXPECT_GE(removals, 1);
  EXPECT_GE(maxStates, static_cast<size_t>(kMaxBloodyPeds));  // the limit was reached
  EXPECT_EQ(sim.TexturesReleasedTwice(), 0);

  sim.GameReset(HostEvent::FirstReset);
  EXPECT_TRUE(State().tables.bloodStates.empty());
  EXPECT_LE(sim.TexturesLive(), 1);  // the blank texture stays
  Stop();
}

}  // namespace
