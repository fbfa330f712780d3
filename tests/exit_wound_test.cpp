#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "damage/damage_hook.h"
#include "damage/wound_profile.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "support/damage_support.h"
#include "support/wound_world.h"
#include "wounds/blood_state.h"

namespace {

class ExitWoundTest : public WoundTest {
 protected:
  void SetUp() override {
    WoundTest::SetUp();
    config.ExitWounds = 1;
    sim.clock = 100000;
    sim.player = sim.AddPed({0, 5, 1});
    sim.aimFromShooter = false;
  }

  // The player's bullet of weapon code from origin along direction into the ped's torso.
  void Shoot(HostPed* ped, int32_t code, Vec3 origin, Vec3 direction) {
    sim.aimOrigin = origin;
    sim.aimDirection = direction;
    sim.clock += 1000;
    HandlePedDamage(Context(), sim.AddDamage(AsEntity(sim.player), 10.0f, 3, code), AsEntity(ped));
  }

  std::vector<std::string> WoundLines(HostPed* ped) {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLogLines()) {
      if (line.find(PointerText(ped)) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }
};

// A wound's log line up to its count of painted triangles.
std::string LineStart(int32_t code, HostPed* ped, int number, const char* how, const Wound& w) {
  char text[160];
  std::snprintf(text, sizeof(text),
                "aim w%d p3 ped %s model 7: wound %d, %s, r %.3f cut 0.000 bleed %.2f, ", code,
                PointerText(ped).c_str(), number, how, static_cast<double>(w.radius),
                static_cast<double>(w.bleed));
  return text;
}

// Shots from the front straight through the chest of the procedural ped (which faces +y).
TEST_F(ExitWoundTest, PiercingBulletsLeaveAWiderExitWoundOnTheBack) {
  struct Row {
    const char* what;
    int32_t code;
    int32_t exitWounds;
    float lossBefore;
    size_t wounds;
  };
  const Row rows[] = {
      {"sniper rifle", 34, 1, 0.0f, 2},    {"Desert Eagle", 24, 1, 0.5f, 2},
      {"carbine", 31, 1, 0.0f, 2},         {"pistol", 22, 1, 0.0f, 1},
      {"exit wounds off", 34, 0, 0.0f, 1}, {"bled out", 34, 1, 1.0f, 0},
  };
  float x = 0.0f;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    config.ExitWounds = row.exitWounds;
    ProceduralPed ped = AddProceduralPed(sim, {{x += 3.0f, 0, 0}});
    const Vec3 chest =
        ProceduralBonePosition(sim, ped, game::bone::kUpperTorso) + Vec3{0.03f, 0, 0};
    PedBloodState& state = FindOrCreateBloodState(Context(), ped.ped);
    state.bloodLoss = row.lossBefore;
    const uint32_t before = rng.state;
    Shoot(ped.ped, row.code, chest + Vec3{0, 5, 0}, {0, -1, 0});

    // The loss is the entry's alone.
    PedBloodState entryAlone;
    entryAlone.bloodLoss = row.lossBefore;
    AddBloodLoss(config, entryAlone, 1.0f / static_cast<float>(config.MaxBulletWounds));
    EXPECT_EQ(state.bloodLoss, entryAlone.bloodLoss);
    EXPECT_EQ(state.lossUnits, entryAlone.lossUnits);
    ASSERT_EQ(state.wounds.size(), row.wounds);
    EXPECT_EQ(DrawsBetween(before, rng.state), 2 * static_cast<int>(row.wounds));
    const std::vector<std::string> lines = WoundLines(ped.ped);
    ASSERT_FALSE(lines.empty());
    if (row.wounds < 2) {
      EXPECT_EQ(lines.back().find(", exit,"), std::string::npos);
      continue;
    }

    const Wound& entry = state.wounds[0];
    const Wound& exit = state.wounds[1];
    EXPECT_GT(WoundCentre(Context(), ped.ped, entry).y, chest.y + 0.05f);
    EXPECT_LT(WoundCentre(Context(), ped.ped, exit).y, chest.y - 0.05f);
    EXPECT_EQ(exit.bleed, entry.bleed);
    RandomGenerator replay{before};
    for (int i = 0; i < 2; ++i) NextRandom(replay);  // the entry's radius and angle
    const float profileRadius =
        GetWoundProfile(config, row.code, game::piece::kTorso).radius * 1.3f;
    EXPECT_EQ(exit.radius, profileRadius * (0.85f + 0.3f * NextRandom(replay)));

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind(LineStart(row.code, ped.ped, 1, "ray hit mesh", entry), 0), 0u)
        << lines[0];
    EXPECT_EQ(lines[1].rfind(LineStart(row.code, ped.ped, 2, "exit", exit), 0), 0u) << lines[1];
  }
}

// Sheets one behind the other at these depths: the bullet comes out through the last one,
// unless that lies within a graze of the entry.
TEST_F(ExitWoundTest, TheExitIsTheLastCrossingBeyondAGraze) {
  struct Row {
    std::vector<float> depths;
    size_t wounds;
  };
  // A graze reaches 5 cm: 4.5 cm is within it, 5.5 cm beyond.
  const Row rows[] = {{{0.0f, 0.03f}, 1},
                      {{0.0f, 0.045f}, 1},
                      {{0.0f, 0.055f}, 2},
                      {{0.0f, 0.08f}, 2},
                      {{0.0f, 0.1f, 0.2f, 0.3f}, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.depths.back());
    HostRenderObject* object = sim.AddRenderObject(AddBones(1));
    for (float depth : row.depths) {
      GridSpec sheet;
      sheet.origin.y = -depth;
      sim.AddMesh(object, AddGrid(sheet));
    }
    HostPed* ped = sim.AddPed({0, 0, 0}, object);
    Shoot(ped, 34, {0.01f, 5, 0.98f}, {0, -1, 0});
    const std::vector<Wound>& wounds = FindBloodState(tables, ped)->wounds;
    ASSERT_EQ(wounds.size(), row.wounds);
    EXPECT_EQ(wounds.front().mesh, MeshesOf(ped).front());
    EXPECT_EQ(wounds.back().mesh, row.wounds == 2 ? MeshesOf(ped).back() : MeshesOf(ped).front());
  }
}

}  // namespace
