#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "damage/explosion_wounds.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "support/damage_support.h"
#include "support/wound_world.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const char* const kTag = "damage w16 p3";

class ExplosionWoundsTest : public WoundTest {
 protected:
  // Log lines without the blood geometry and wound placement lines.
  std::vector<std::string> IntakeLines() {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLogLines()) {
      if (line.find(" model ") == std::string::npos && line.rfind("blood geometry", 0) != 0) {
        lines.push_back(line);
      }
    }
    return lines;
  }
  std::string Prefix(HostPed* ped) { return std::string(kTag) + " ped " + PointerText(ped); }
};

TEST_F(ExplosionWoundsTest, FifthExplosionFindsThePedBledOut) {
  ProceduralPed ped = AddProceduralPed(sim);
  const Vec3 point = ProceduralBonePosition(sim, ped, game::bone::kUpperTorso) + Vec3{0, 1.0f, 0};
  for (int i = 0; i < 5; ++i) HandleExplosionDamage(Context(), ped.ped, point, kTag);

  const PedBloodState* state = FindBloodState(tables, ped.ped);
  ASSERT_NE(state, nullptr);
  EXPECT_FLOAT_EQ(state->bloodLoss, 1.25f);
  EXPECT_EQ(state->woundCounter, 24);  // six per explosion, none for the fifth
  const std::vector<std::string> lines = IntakeLines();
  ASSERT_EQ(lines.size(), 5u);
  const char* bleeds[] = {"1.00", "0.44", "0.18", "0.06"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[static_cast<size_t>(i)],
              Prefix(ped.ped) + ": explosion 1.0 m away, closest part bone 3, bleed " + bleeds[i]);
  }
  EXPECT_EQ(lines[4], Prefix(ped.ped) + ": explosion, bled out, nothing shown");
}

TEST_F(ExplosionWoundsTest, NearnessScalesTheWounds) {
  struct Row {
    float distance;
    float scale;
    const char* line;
  };
  const Row rows[] = {{0.5f, 1.0f, ": explosion 0.5 m away, closest part bone 5, bleed 1.00"},
                      {10.0f, 0.3f, ": explosion 10.0 m away, closest part bone 5, bleed 1.00"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.distance);
    ProceduralPed ped = AddProceduralPed(sim);
    const Vec3 point =
        ProceduralBonePosition(sim, ped, game::bone::kHead) + Vec3{0, row.distance, 0};
    RandomGenerator replay = rng;
    HandleExplosionDamage(Context(), ped.ped, point, kTag);

    // Draws per wound: three jitters, then AddWound's radius and angle (no drips).
    std::vector<float> expected;
    const float large[] = {0.2f, 0.14f, 0.1f};
    for (float radius : large) {
      for (int k = 0; k < 3; ++k) NextRandom(replay);
      expected.push_back(row.scale * radius * (0.85f + 0.3f * NextRandom(replay)));
      NextRandom(replay);
    }
    for (int i = 0; i < 3; ++i) {
      const float u = NextRandom(replay);
      NextRandom(replay);
      for (int k = 0; k < 3; ++k) NextRandom(replay);
      expected.push_back(row.scale * (0.03f + 0.03f * u) * (0.85f + 0.3f * NextRandom(replay)));
      NextRandom(replay);
    }
    const PedBloodState* state = FindBloodState(tables, ped.ped);
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(state->wounds.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(state->wounds[i].radius, expected[i]) << i;
    EXPECT_EQ(rng.state, replay.state);
    EXPECT_EQ(IntakeLines().back(), Prefix(ped.ped) + row.line);
  }
}

TEST_F(ExplosionWoundsTest, EqualDistancesGoToTheSmallerBoneAndNaNComesLast) {
  struct Row {
    const char* name;
    std::vector<std::pair<int32_t, Vec3>> bones;  // the others are 100 m away
    const char* line;
  };
  const Row rows[] = {
      {"22 and 23 alike",
       {{22, {1, 0, 0}}, {23, {-1, 0, 0}}},
       ": explosion 1.0 m away, closest part bone 22, bleed 1.00"},
      {"5 listed before 3",
       {{5, {0, 1, 0}}, {3, {0, -1, 0}}},
       ": explosion 1.0 m away, closest part bone 3, bleed 1.00"},
      {"NaN bone",
       {{5, {kNaN, 0, 0}}, {3, {0, 0, 0.5f}}},
       ": explosion 0.5 m away, closest part bone 3, bleed 1.00"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HostPed* ped = sim.AddPed({0, 0, 100});
    SimHost::Sim(ped)->queryBones = row.bones;
    HandleExplosionDamage(Context(), ped, {0, 0, 0}, kTag);
    EXPECT_EQ(IntakeLines().back(), Prefix(ped) + row.line);
  }
  // Nothing but NaN: the wounds still go somewhere, scaled as from afar.
  HostPed* ped = sim.AddPed({kNaN, kNaN, kNaN});
  HandleExplosionDamage(Context(), ped, {0, 0, 0}, kTag);
  EXPECT_NE(IntakeLines().back().find(", closest part bone 1, bleed 1.00"), std::string::npos);
}

TEST_F(ExplosionWoundsTest, HitPointOnTheExplosionGivesAVerticalSegment) {
  ProceduralPed ped = AddProceduralPed(sim);
  const Vec3 head = ProceduralBonePosition(sim, ped, game::bone::kHead);
  RandomGenerator replay = rng;
  const float u1 = NextRandom(replay), u2 = NextRandom(replay), u3 = NextRandom(replay);
  const Vec3 p = head + Vec3{u3 - 0.5f, u2 - 0.5f, u1 - 0.5f} * 0.08f;
  const WoundProfile profile{0.05f, 0, 1, 0, 1};
  EXPECT_TRUE(
      AddExplosionWound(Context(), ped.ped, game::bone::kHead, p, profile, kTag, 0.0f, 1.0f));

  // Straight down from 0.7 m above: the first surface met is the top of the head.
  const Wound& wound = FindBloodState(tables, ped.ped)->wounds.back();
  const Vec3 centre = WoundCentre(Context(), ped.ped, wound);
  EXPECT_NEAR(centre.x, p.x, 1e-4f);
  EXPECT_NEAR(centre.y, p.y, 1e-4f);
  EXPECT_GT(centre.z, p.z);
  EXPECT_LT(centre.z, p.z + 0.7f);
  EXPECT_EQ(FindBloodState(tables, ped.ped)->bloodLoss, 0.0f);  // the increment passed: 0
}

TEST_F(ExplosionWoundsTest, FallsLandOnTheLowestBoneButNeverOnAFoot) {
  struct Row {
    const char* name;
    std::vector<std::pair<int32_t, Vec3>> bones;  // others at z 1
    int32_t landed;                               // -1: ignored without a trace
  };
  const Row rows[] = {
      {"bone 3 lowest", {{3, {0, 0, 0.2f}}}, 3},
      {"3 and 22 alike: the earlier in the list", {{22, {0, 0, 0.2f}}, {3, {0, 0, 0.2f}}}, 3},
      {"left foot", {{43, {0, 0, 0.1f}}, {3, {0, 0, 0.2f}}}, -1},
      {"right foot", {{53, {0, 0, 0.1f}}}, -1},
      {"bone 1 as low as a foot", {{53, {0, 0, 0.1f}}, {1, {0, 0, 0.1f}}}, 1},
      {"NaN never lowest", {{5, {0, 0, kNaN}}, {24, {0, 0, 0.5f}}}, 24},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HostPed* ped = sim.AddPed({0, 0, 1});
    SimHost::Sim(ped)->queryBones = row.bones;
    const size_t before = IntakeLines().size();
    HandleFallDamage(Context(), ped, kTag);
    const std::vector<std::string> lines = IntakeLines();
    if (row.landed < 0) {
      EXPECT_EQ(lines.size(), before);
      EXPECT_EQ(FindBloodState(tables, ped), nullptr);
    } else {
      ASSERT_EQ(lines.size(), before + 1);
      EXPECT_EQ(lines.back(), Prefix(ped) + ": fall, landed on bone " + std::to_string(row.landed) +
                                  ", bleed 1.00");
    }
  }
}

TEST_F(ExplosionWoundsTest, StandingPedsLandOnTheirFeet) {
  ProceduralPed ped = AddProceduralPed(sim);
  HandleFallDamage(Context(), ped.ped, kTag);
  EXPECT_TRUE(ReadLogLines().empty());
  EXPECT_EQ(FindBloodState(tables, ped.ped), nullptr);
}

TEST_F(ExplosionWoundsTest, FourFallsBleedALivingPedOut) {
  ProceduralPed ped = AddProceduralPed(sim, {{0, 0, 0}, 0, PedPose::Lying});
  SimHost::Sim(ped.ped)->health = 100.0f;
  const int32_t lowest = LowestFallBone(sim, ped);
  ASSERT_NE(lowest, 43);
  ASSERT_NE(lowest, 53);

  RandomGenerator replay = rng;
  for (int i = 0; i < 4; ++i) HandleFallDamage(Context(), ped.ped, kTag);
  const PedBloodState* state = FindBloodState(tables, ped.ped);
  ASSERT_NE(state, nullptr);
  EXPECT_FLOAT_EQ(state->wounds.at(0).radius, 0.07f * (0.85f + 0.3f * NextRandom(replay)));
  EXPECT_EQ(state->bloodLoss, 1.0f);
  HandleFallDamage(Context(), ped.ped, kTag);
  EXPECT_EQ(state->bloodLoss, 1.25f);
  ASSERT_EQ(state->wounds.size(), 4u);
  const Vec3 bone = ProceduralBonePosition(sim, ped, lowest);
  const Vec3 centre = WoundCentre(Context(), ped.ped, state->wounds[0]);
  EXPECT_NEAR(centre.x, bone.x, 0.3f);
  EXPECT_NEAR(centre.y, bone.y, 0.3f);

  std::vector<std::string> falls;
  std::string bledOut;
  for (const std::string& line : ReadLogLines()) {
    if (line.find(": fall, ") != std::string::npos) falls.push_back(line);
    if (line.find("bled out") != std::string::npos) bledOut = line;
  }
  const std::string landed = Prefix(ped.ped) + ": fall, landed on bone " + std::to_string(lowest);
  const std::vector<std::string> expected = {landed + ", bleed 1.00", landed + ", bleed 0.44",
                                             landed + ", bleed 0.18", landed + ", bleed 0.06",
                                             landed + ", bleed 0.00"};
  EXPECT_EQ(falls, expected);
  EXPECT_EQ(bledOut, Prefix(ped.ped) + " model 7: wound 5, bled out, nothing shown");
}

}  // namespace
