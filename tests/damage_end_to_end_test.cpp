// From a game event to painted blood: the game calls its hooked routines on SimHost, the
// thunks reach the intake, and the wounds land in the procedural peds' blood masks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "damage/hit_history.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "render/blood_geometry.h"
#include "render/wound_stamp.h"
#include "support/damage_support.h"
#include "support/sim_fixture.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

namespace {

constexpr float kPi = 3.14159265f;

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof(text), format, args...);
  return text;
}

class DamageEndToEnd : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    WriteIni("[Blood]\nMaskSize=64\n");
    sim.clock = 10000;
    Start();
    log = {"Vermiltrace loaded", "damage hook installed, fire hook installed",
           "render hook installed"};
  }

  HostPed* AddPlayer(Vec3 position) {
    sim.player = sim.AddPed(position);
    return sim.player;
  }

  // The lines of a ped's first painting: one blood copy per geometry.
  void ExpectBloodGeometryLines(const ProceduralPed& ped) {
    for (HostGeometry* geometry : {ped.bodyGeometry, ped.headGeometry}) {
      const SimGeometry* g = SimHost::Sim(geometry);
      log.push_back("blood geometry for " + PointerText(geometry) + ": " +
                    std::to_string(g->vertexCount) + " vertices, " +
                    std::to_string(g->triangleCount) + " triangles");
    }
  }

  // The wound lines of the ped's wounds [first, end), as AddWound writes them; the painted
  // count comes from painting each wound again into scratch layers.
  void ExpectWoundLines(const std::string& tag, HostPed* ped, size_t first, size_t end) {
    const PedBloodState* state = FindBloodState(State().tables, ped);
    ASSERT_NE(state, nullptr);
    ASSERT_LE(end, state->wounds.size());
    PosedMeshSnapshot snapshot;
    ASSERT_TRUE(TakePosedMeshSnapshot(Context(), ped, snapshot));
    const int32_t counter = state->woundCounter - static_cast<int32_t>(state->wounds.size());
    for (size_t i = first; i < end; ++i) {
      const Wound& w = state->wounds[i];
      std::vector<MaskLayer> scratch;
      const bool snapped = w.u == 1.0f / 3.0f && w.v == 1.0f / 3.0f;
      log.push_back(tag + " ped " + PointerText(ped) +
                    Format(" model 7: wound %d, %s, r %.3f cut %.3f bleed %.2f, %d tris painted",
                           counter + static_cast<int32_t>(i) + 1,
                           snapped ? "snapped" : "ray hit mesh", static_cast<double>(w.radius),
                           static_cast<double>(w.cut), static_cast<double>(w.bleed),
                           PaintWound(Context(), scratch, w, snapshot, 0.0f)));
    }
  }

  static size_t PaintedTexels(HostPed* ped) {
    size_t count = 0;
    if (const PedBloodState* state = FindBloodState(State().tables, ped)) {
      for (const MaskLayer& layer : state->layers) {
        for (uint8_t t : MaskBytes(layer.mask)) count += t != 0;
      }
    }
    return count;
  }

  // The explosion line for ped and point: the nearest of the explosion bones.
  std::string ExplosionLine(const std::string& tag, const ProceduralPed& ped, Vec3 point) {
    const int32_t bones[] = {5, 3, 2, 1, 22, 23, 32, 33, 41, 42, 51, 52};
    float best = 1e30f;
    int32_t bone = -1;
    for (int32_t b : bones) {
      const float d = Length(ProceduralBonePosition(sim, ped, b) - point);
      if (d < best || (d == best && b < bone)) best = d, bone = b;
    }
    return tag + " ped " + PointerText(ped.ped) +
           Format(": explosion %.1f m away, closest part bone %d, bleed 1.00",
                  static_cast<double>(best), bone);
  }

  std::vector<std::string> log;  // what the log must hold, line by line
};

TEST_F(DamageEndToEnd, PlayerShootsAPedWithAPistol) {
  HostPed* player = AddPlayer({0, 4, 1.0f});
  ProceduralPed target = AddProceduralPed(sim);  // facing the player
  sim.AimAt(ProceduralBonePosition(sim, target, game::bone::kUpperTorso) + Vec3{0.06f, 0, 0});

  EXPECT_EQ(sim.GameFire(sim.AddWeapon(22), player), 1);
  log.push_back("shot w22 x1: 0 corpses near the aim ray (0 dead peds in pool)");
  sim.GameDamage(sim.AddDamage(AsEntity(player), 25.0f, 3, 22), AsEntity(target.ped));
  EXPECT_EQ(sim.damageRoutineCalls, 1);
  EXPECT_FLOAT_EQ(SimHost::Sim(target.ped)->health, 75.0f);

  ExpectBloodGeometryLines(target);
  ExpectWoundLines("aim w22 p3", target.ped, 0, 1);
  EXPECT_EQ(ReadLogLines(), log);
  EXPECT_EQ(FindBloodState(State().tables, target.ped)->woundCounter, 1);
  EXPECT_GT(PaintedTexels(target.ped), 0u);
  const HitRecord* record = FindHitRecord(State().hits, target.ped);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->clock, 10000u);

  // The wound sits where the aim ray enters the chest, on the front.
  const Wound& wound = FindBloodState(State().tables, target.ped)->wounds[0];
  EXPECT_EQ(wound.mesh, target.body);

  sim.GameRenderPed(target.ped);
  EXPECT_GT(sim.TexturesCreated(), 0);
}

TEST_F(DamageEndToEnd, GrenadeExplodesBetweenTwoPeds) {
  ProceduralPed a = AddProceduralPed(sim, {{0, 0, 0}});
  ProceduralPed b = AddProceduralPed(sim, {{1.4f, 0.3f, 0}, kPi});
  const Vec3 grenade{0.6f, 1.2f, 0.2f};
  sim.explosionActive[3] = true;
  sim.explosionPosition[3] = grenade;
  sim.explosionActive[4] = true;
  sim.explosionPosition[4] = {30, 0, 0};  // another, too far to count

  for (const ProceduralPed* ped : {&a, &b}) {
    sim.GameDamage(sim.AddDamage(nullptr, 60.0f, game::piece::kTorso, game::weapon::kGrenade),
                   AsEntity(ped->ped));
    ASSERT_EQ(FindBloodState(State().tables, ped->ped)->wounds.size(), 6u);
    ExpectBloodGeometryLines(*ped);
    ExpectWoundLines("damage w16 p3", ped->ped, 0, 6);
    log.push_back(ExplosionLine("damage w16 p3", *ped, grenade));
    EXPECT_FLOAT_EQ(FindBloodState(State().tables, ped->ped)->bloodLoss, 0.25f);
    EXPECT_GT(PaintedTexels(ped->ped), 0u);
  }
  EXPECT_EQ(ReadLogLines(), log);

  // The blast is still going a moment later: the same code again changes nothing.
  sim.clock += 500;
  sim.GameDamage(sim.AddDamage(nullptr, 20.0f, game::piece::kLeftArm, game::weapon::kGrenade),
                 AsEntity(a.ped));
  EXPECT_EQ(ReadLogLines(), log);
}

TEST_F(DamageEndToEnd, PedFallsFromARoof) {
  ProceduralPed ped = AddProceduralPed(sim, {{5, 5, 0}, 0.5f, PedPose::Lying});
  SimHost::Sim(ped.ped)->health = 100.0f;  // landed on its back, alive
  const int32_t lowest = LowestFallBone(sim, ped);

  sim.GameDamage(sim.AddDamage(nullptr, 7.5f, game::piece::kTorso, game::weapon::kFall),
                 AsEntity(ped.ped));  // a stumble
  EXPECT_EQ(FindBloodState(State().tables, ped.ped), nullptr);
  sim.clock += 2000;
  sim.GameDamage(sim.AddDamage(nullptr, 30.0f, game::piece::kTorso, game::weapon::kFall),
                 AsEntity(ped.ped));

  log.push_back("damage w54 p3 ped " + PointerText(ped.ped) + ": fall, landed on bone " +
                std::to_string(lowest) + ", bleed 1.00");
  ExpectBloodGeometryLines(ped);
  ExpectWoundLines("damage w54 p3", ped.ped, 0, 1);
  EXPECT_EQ(ReadLogLines(), log);
  EXPECT_FLOAT_EQ(FindBloodState(State().tables, ped.ped)->bloodLoss, 0.25f);
  EXPECT_GT(PaintedTexels(ped.ped), 0u);
}

TEST_F(DamageEndToEnd, PlayerEmptiesAShotgunIntoACorpse) {
  HostPed* player = AddPlayer({0, 0, 1.0f});
  ProceduralPed corpse = AddProceduralPed(sim, {{0.2f, 3, 0}, 0.3f, PedPose::Lying});
  sim.AimAt(ProceduralBonePosition(sim, corpse, game::bone::kUpperTorso));
  sim.RunFor(1000);  // the corpse is seen dead
  HostWeapon* shotgun = sim.AddWeapon(25);

  const std::string shot = "shot w25 x1: 1 corpses near the aim ray (1 dead peds in pool)";
  int32_t counter = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sim.GameFire(shotgun, player), 1);
    log.push_back(shot);
    if (i == 0) ExpectBloodGeometryLines(corpse);
    const PedBloodState* state = FindBloodState(State().tables, corpse.ped);
    ASSERT_NE(state, nullptr);
    const int32_t added = state->woundCounter - counter;
    EXPECT_GE(added, 4);  // every pellet finds the body; some paint no texel and go again
    const size_t size = state->wounds.size();
    ExpectWoundLines("corpse w25", corpse.ped, size - static_cast<size_t>(added), size);
    counter = state->woundCounter;
    sim.RunFor(300);
  }
  EXPECT_EQ(ReadLogLines(), log);
  EXPECT_GT(PaintedTexels(corpse.ped), 0u);
  // Corpses bleed less and less: the last wound bleeds less than the first.
  const std::vector<Wound>& wounds = FindBloodState(State().tables, corpse.ped)->wounds;
  EXPECT_LT(wounds.back().bleed, wounds.front().bleed);
}

TEST_F(DamageEndToEnd, HitHistoryOutlivesResetsButNotThePed) {
  ProceduralPed ped = AddProceduralPed(sim);
  sim.GameDamage(sim.AddDamage(nullptr, 10.0f, game::piece::kLeftArm, game::weapon::kKnife),
                 AsEntity(ped.ped));
  ASSERT_NE(FindHitRecord(State().hits, ped.ped), nullptr);
  sim.GameReset(HostEvent::FirstReset);
  EXPECT_TRUE(State().tables.bloodStates.empty());
  ASSERT_NE(FindHitRecord(State().hits, ped.ped), nullptr);
  // Right after the reset the same stab is still a repeat.
  sim.clock += 50;
  sim.GameDamage(sim.AddDamage(nullptr, 10.0f, game::piece::kLeftArm, game::weapon::kKnife),
                 AsEntity(ped.ped));
  EXPECT_TRUE(State().tables.bloodStates.empty());
  sim.GameRemovePed(ped.ped);
  EXPECT_EQ(FindHitRecord(State().hits, ped.ped), nullptr);
}

}  // namespace

namespace {

using BloodPassEndToEnd = SimTest;

// A shot on the procedural ped, then the game's render of it through the installed hook.
TEST_F(BloodPassEndToEnd, ShotPedIsDrawnAgainWithBloodTexturesInItsBloodGeometry) {
  Start();
  ProceduralPed target = AddProceduralPed(sim);
  HostPed* shooter = sim.AddPed({0.0f, 4.0f, 1.0f});
  sim.clock = 2000;
  sim.GameDamage(sim.AddDamage(AsEntity(shooter), 25.0f, 3, 22), AsEntity(target.ped));
  PedBloodState* state = FindBloodState(State().tables, target.ped);
  ASSERT_NE(state, nullptr);
  ASSERT_FALSE(state->layers.empty());

  sim.GameRenderPed(target.ped);
  ASSERT_EQ(sim.draws.size(), 3u);  // body and head, then the body's blood pass
  EXPECT_EQ(sim.draws[0].geometry, target.bodyGeometry);
  EXPECT_EQ(sim.draws[1].geometry, target.headGeometry);
  const SimDraw& blood = sim.draws[2];
  EXPECT_EQ(blood.mesh, target.body);
  EXPECT_EQ(blood.geometry, GetBloodGeometry(Context(), target.bodyGeometry));
  EXPECT_NE(blood.geometry, target.bodyGeometry);
  EXPECT_EQ(sim.MeshGeometry(target.body), target.bodyGeometry);

  for (const MaskLayer& layer : state->layers) {
    SCOPED_TRACE(testing::Message() << "material " << layer.materialIndex);
    ASSERT_EQ(layer.mesh, target.body);
    ASSERT_NE(layer.texture, nullptr);
    ASSERT_LT(static_cast<size_t>(layer.materialIndex), blood.textures.size());
    EXPECT_EQ(blood.textures[static_cast<size_t>(layer.materialIndex)], layer.texture);
    EXPECT_FALSE(layer.dirty);

    // At the wound's strongest texel the pixel holds fresh blood at full alpha.
    const std::vector<uint8_t> amounts = MaskBytes(layer.mask);
    auto strongest = std::max_element(amounts.begin(), amounts.end());
    if (*strongest < 141) continue;
    size_t index = static_cast<size_t>(strongest - amounts.begin());
    size_t width = 2 * static_cast<size_t>(Config().MaskSize);
    SimSurface* surface = SimHost::Sim(layer.texture)->surface;
    const uint8_t* pixel = surface->pixels.data() +
                           index / width * static_cast<size_t>(surface->stride) +
                           4 * (index % width);
    float a = static_cast<float>(*strongest) / 255.0f;
    EXPECT_EQ(pixel[3], 237);
    EXPECT_EQ(pixel[2], static_cast<uint8_t>(0.13f * (1.2f - 0.5f * a) * 255.0f));
    EXPECT_EQ(pixel[1], static_cast<uint8_t>(0.008f * (1.2f - 0.5f * a) * 255.0f));
    EXPECT_EQ(pixel[0], pixel[1]);
  }
  uint8_t strongest = 0;
  for (const MaskLayer& layer : state->layers) {
    const std::vector<uint8_t> amounts = MaskBytes(layer.mask);
    strongest = std::max(strongest, *std::max_element(amounts.begin(), amounts.end()));
  }
  EXPECT_GE(strongest, 141);
}

}  // namespace
