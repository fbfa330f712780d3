#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "damage/corpse_shots.h"
#include "damage/hit_history.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "support/damage_support.h"
#include "support/wound_world.h"
#include "wounds/blood_state.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kHalfPi = 1.5707964f;

int WoundsOn(BloodTables& tables, HostPed* ped) {
  const PedBloodState* state = FindBloodState(tables, ped);
  return state ? state->woundCounter : 0;
}

class CorpseShotsTest : public WoundTest {
 protected:
  void SetUp() override {
    WoundTest::SetUp();
    sim.clock = 60000;
    player = sim.AddPed({0, 0, 0});
    sim.player = player;
    sim.aimOffset = {0, 0, 0.6f};
    sim.aimDirection = {0, 1, 0};
    sim.viewEye = {0, -3, 1};
    sim.viewDirection = {0, 1, 0};
  }

  // A dead ped without a mesh of its own (its render object has no skin hierarchy).
  HostPed* AddCorpse(Vec3 position, bool renderObject = true) {
    HostPed* ped = sim.AddPed(position, renderObject ? sim.AddRenderObject(nullptr) : nullptr);
    SimHost::Sim(ped)->health = 0.0f;
    return ped;
  }

  std::vector<std::string> ShotLines() {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLogLines()) {
      if (line.rfind("shot ", 0) == 0) lines.push_back(line);
    }
    return lines;
  }
  // The peds AddWound was asked about, in order (one line per segment tried).
  std::vector<std::string> TriedPeds() {
    std::vector<std::string> peds;
    for (const std::string& line : ReadLogLines()) {
      if (line.rfind("corpse w", 0) == 0)
        peds.push_back(line.substr(line.find(" ped ") + 5, 2 * sizeof(void*)));
    }
    return peds;
  }

  HostPed* player = nullptr;
};

TEST_F(CorpseShotsTest, OnlyCorpsesNearTheAimRayAreCandidates) {
  // The aim line runs from (0, 0, 0.6) along +y.
  HostPed* near = AddCorpse({1.9f, 100, 0.6f});
  AddCorpse({2.1f, 100, 0.6f});
  AddCorpse({0, 151, 0.6f});
  HostPed* end = AddCorpse({0, 150, 0.6f});
  AddCorpse({0, -1, 0.6f});                   // behind the shooter
  AddCorpse({0, 10, 0.6f}, false);            // no render object: counted, never a candidate
  HostPed* first = AddCorpse({0, 3, -1.3f});  // 1.9 m below the line
  sim.AddPed({0, 20, 0.6f}, sim.AddRenderObject(nullptr));  // alive
  sim.pool.push_back(nullptr);                              // a free slot
  SimHost::Sim(player)->health = 0.0f;                      // the shooter is never counted

  ShootCorpses(Context(), player, 22, 1);
  EXPECT_EQ(ShotLines(), std::vector<std::string>{
                             "shot w22 x1: 3 corpses near the aim ray (7 dead peds in pool)"});
  // Nearest first, each tried along the aim and then the view segment.
  const std::string a = PointerText(first), b = PointerText(near), c = PointerText(end);
  EXPECT_EQ(TriedPeds(), (std::vector<std::string>{a, a, b, b, c, c}));
}

TEST_F(CorpseShotsTest, RecentlyDamagedCorpsesAreLeftToTheDamageHook) {
  struct Row {
    uint32_t msAgo;
    bool candidate;
  };
  const Row rows[] = {{100, false}, {149, false}, {150, true}, {200, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.msAgo);
    hits.records.clear();
    sim.pool.clear();
    HostPed* corpse = AddCorpse({0, 5, 0.6f});
    FindOrCreateHitRecord(hits, corpse) = {sim.clock - row.msAgo, 22, 3};
    const size_t before = ShotLines().size();
    ShootCorpses(Context(), player, 22, 1);
    const std::vector<std::string> lines = ShotLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), std::string("shot w22 x1: ") + (row.candidate ? "1" : "0") +
                                " corpses near the aim ray (1 dead peds in pool)");
  }
}

TEST_F(CorpseShotsTest, TheNearestCorpseInClearSightTakesTheShot) {
  // Two corpses across a line 0.15 m above the ground; it passes through both bodies.
  sim.aimFromShooter = false;
  sim.aimOrigin = {0, 0, 0.15f};
  sim.viewEye = {0, 0, 0.15f};
  ProceduralPed nearer = AddProceduralPed(sim, {{-0.3f, 4, 0}, kHalfPi, PedPose::Lying});
  ProceduralPed farther = AddProceduralPed(sim, {{-0.3f, 8, 0}, kHalfPi, PedPose::Lying});

  ShootCorpses(Context(), player, 22, 1);
  EXPECT_EQ(WoundsOn(tables, nearer.ped), 1);
  EXPECT_EQ(WoundsOn(tables, farther.ped), 0);

  // Something between the shooter and the nearer corpse's position only.
  sim.blockers.push_back({{-0.4f, 4, 0}, 0.15f});
  sim.clock += 1000;
  ShootCorpses(Context(), player, 22, 1);
  EXPECT_EQ(WoundsOn(tables, nearer.ped), 1);
  EXPECT_EQ(WoundsOn(tables, farther.ped), 1);
}

// The corpse wound has the body's profile (piece 3, not the head's); corpses equally far
// along the ray are tried in the order of their addresses.
TEST_F(CorpseShotsTest, CorpseWoundsTakeTheBodyProfileAndEqualRangesGoByAddress) {
  sim.aimFromShooter = false;
  sim.aimOrigin = {0, 0, 0.15f};
  sim.viewEye = {0, 0, 0.15f};
  ProceduralPed corpse = AddProceduralPed(sim, {{-0.3f, 4, 0}, kHalfPi, PedPose::Lying});
  RandomGenerator replay = rng;
  ShootCorpses(Context(), player, 22, 1);
  ASSERT_EQ(WoundsOn(tables, corpse.ped), 1);
  EXPECT_FLOAT_EQ(FindBloodState(tables, corpse.ped)->wounds[0].radius,
                  config.WoundRadius * (0.85f + 0.3f * NextRandom(replay)));

  HostPed* a = AddCorpse({-0.5f, 20, 0.15f});
  HostPed* b = AddCorpse({0.5f, 20, 0.15f});
  sim.blockers.push_back({{-0.3f, 4, 0}, 0.2f});  // the first corpse is out of sight now
  sim.clock += 1000;
  ShootCorpses(Context(), player, 22, 1);
  const std::string low = PointerText(std::min(a, b)), high = PointerText(std::max(a, b));
  const std::vector<std::string> tried = TriedPeds();
  ASSERT_GE(tried.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(tried.end() - 4, tried.end()),
            (std::vector<std::string>{low, low, high, high}));
}

TEST_F(CorpseShotsTest, ShotgunsFireFourPelletsWithTheirOwnSpread) {
  // Fine masks, so that every small wound paints and takes its pellet.
  config.MaskSize = 512;
  ProceduralPed corpse = AddProceduralPed(sim, {{0, 3, 0}});
  SimHost::Sim(corpse.ped)->health = 0.0f;
  sim.AimAt(ProceduralBonePosition(sim, corpse, game::bone::kUpperTorso));

  uint32_t before = rng.state;
  ShootCorpses(Context(), player, 22, 1);
  EXPECT_EQ(WoundsOn(tables, corpse.ped), 1);
  EXPECT_EQ(DrawsBetween(before, rng.state), 2);  // AddWound's radius and angle

  before = rng.state;
  ShootCorpses(Context(), player, 25, 1);
  EXPECT_EQ(WoundsOn(tables, corpse.ped), 5);
  EXPECT_EQ(DrawsBetween(before, rng.state), 4 * (3 + 2));
  const std::vector<Wound>& wounds = FindBloodState(tables, corpse.ped)->wounds;
  std::set<std::tuple<int32_t, float, float>> places;
  for (size_t i = 1; i < wounds.size(); ++i) {
    places.insert({wounds[i].triangle, wounds[i].u, wounds[i].v});
  }
  EXPECT_EQ(places.size(), 4u);

  ShootCorpses(Context(), player, 26, 2);  // every shot of a call has its pellets
  EXPECT_EQ(WoundsOn(tables, corpse.ped), 13);
}

TEST_F(CorpseShotsTest, ShotLineIsWrittenWithoutCorpses) {
  AddCorpse({5, 5, 0.6f});
  AddCorpse({0, 5, 0.6f}, false);
  sim.AddPed({0, 5, 0.6f}, sim.AddRenderObject(nullptr));
  const uint32_t before = rng.state;
  ShootCorpses(Context(), player, 25, 1);
  EXPECT_EQ(ShotLines(), std::vector<std::string>{
                             "shot w25 x1: 0 corpses near the aim ray (2 dead peds in pool)"});
  EXPECT_EQ(rng.state, before);  // no pellet without a candidate
}

TEST_F(CorpseShotsTest, HostileHostDataIsHarmless) {
  AddCorpse({0, 5, 0.6f});  // the only candidate
  AddCorpse({kNaN, 5, 0.6f});
  AddCorpse({0, 6, kNaN});
  HostPed* undead = sim.AddPed({0, 7, 0.6f}, sim.AddRenderObject(nullptr));
  SimHost::Sim(undead)->health = kNaN;  // neither dead nor a candidate

  ShootCorpses(Context(), player, 22, 1);
  sim.reportedSlotCount = -3;
  ShootCorpses(Context(), player, 22, 1);
  sim.reportedSlotCount = 1000;  // more than the pool holds
  ShootCorpses(Context(), player, 22, 1);
  sim.reportedSlotCount.reset();
  ShootCorpses(Context(), player, 22, 0);
  ShootCorpses(Context(), player, 25, -4);
  ShootCorpses(Context(), nullptr, 22, 1);  // aims from the world's origin, as the player does here
  sim.aimDirection = {kNaN, 0, 0};
  ShootCorpses(Context(), player, 22, 1);
  const std::string one = " 1 corpses near the aim ray (3 dead peds in pool)";
  EXPECT_EQ(ShotLines(), (std::vector<std::string>{
                             "shot w22 x1:" + one,
                             "shot w22 x1: 0 corpses near the aim ray (0 dead peds in pool)",
                             "shot w22 x1:" + one,
                             "shot w22 x0:" + one,
                             "shot w25 x-4:" + one,
                             "shot w22 x1:" + one,
                             "shot w22 x1: 0 corpses near the aim ray (3 dead peds in pool)",
                         }));
  // Two segments tried for each of the three one-shot calls with the candidate.
  EXPECT_EQ(TriedPeds().size(), 6u);
}

}  // namespace
