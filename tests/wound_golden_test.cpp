// Golden masks: a fixed seed and a fixed scenario on procedural peds must keep every texel
// byte. When a change of the painted result is intended, run
//   VT_PRINT_GOLDEN=1 ./tests/vermiltrace_tests --gtest_filter='WoundGolden*'
// and paste the printed hashes into kExpected below. The bytes are the same on every build:
// float arithmetic is SSE without fused operations, and the maths routines are our own.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "core/log.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "support/sim_fixture.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

constexpr float kQuarterTurn = 1.5707964f;

uint64_t Fnv1a(uint64_t hash, const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// Layer count, then per layer: which of the ped's meshes, the material and every texel.
uint64_t MaskHash(const ProceduralPed& ped) {
  uint64_t hash = 0xCBF29CE484222325ull;
  const PedBloodState* state = FindBloodState(State().tables, ped.ped);
  const uint32_t count = state ? static_cast<uint32_t>(state->layers.size()) : 0;
  hash = Fnv1a(hash, &count, sizeof(count));
  for (uint32_t i = 0; i < count; ++i) {
    const MaskLayer& layer = state->layers[i];
    const int32_t ids[2] = {layer.mesh == ped.head ? 1 : 0, layer.materialIndex};
    hash = Fnv1a(hash, ids, sizeof(ids));
    const std::vector<uint8_t> bytes = MaskBytes(layer.mask);
    hash = Fnv1a(hash, bytes.data(), bytes.size());
  }
  return hash;
}

class WoundGolden : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    OpenLog();
  }
  void RunUntil(uint32_t clock) {
    while (sim.clock < clock) {
      sim.clock += 50;
      UpdateBloodFrame(Context());
    }
  }
  // A shot along from -> to that must land on the mesh (or snap, when allowed).
  void Hit(const ProceduralPed& ped, Vec3 from, Vec3 to, const WoundProfile& profile,
           const char* how, Vec3 snap = {}) {
    const bool allowSnap = std::string(how) == "snapped";
    EXPECT_TRUE(AddWound(Context(), {ped.ped,
                                     from,
                                     to,
                                     profile,
                                     "golden",
                                     allowSnap ? std::optional<Vec3>(snap) : std::nullopt,
                                     {},
                                     {}}));
    EXPECT_NE(ReadLogLines().back().find(how), std::string::npos) << ReadLogLines().back();
  }
};

TEST_F(WoundGolden, MasksOfAFixedScenarioKeepEveryByte) {
  BloodConfig& config = State().config;
  config.MaskSize = 256;
  config.Drips = 1;
  config.FlowTime = 8.0f;
  config.CorpseBleedTime = 50.0f;
  State().rng.state = 0x5EED1234u;
  const WoundProfile bullet{0.035f, 0.0f, 1.0f, 1, 4};
  const WoundProfile rifle{0.045f, 0.0f, 1.3f, 2, 5};
  const WoundProfile blade{0.03f, 0.06f, 0.8f, 1, 3};

  ProceduralPed standing = AddProceduralPed(sim, {{0, 0, 0}, 0.0f, PedPose::Standing, false});
  ProceduralPed raised =
      AddProceduralPed(sim, {{2, 0, 0}, kQuarterTurn, PedPose::ArmsRaised, true});
  ProceduralPed lying = AddProceduralPed(sim, {{-2, 0, 0}, 0.0f, PedPose::Lying, false});
  sim.clock = 1000;
  UpdateBloodFrame(Context());  // the corpse's death time

  Hit(standing, {0.02f, 1, 1.3f}, {0.02f, -1, 1.3f}, bullet, "ray hit mesh");
  Hit(standing, {-0.24f, 1, 1.2f}, {-0.24f, -1, 1.2f}, rifle, "ray hit mesh");
  Hit(standing, {0.1f, 1, 1.0f}, {0.1f, 0.6f, 1.0f}, bullet, "snapped", {0.1f, 0.12f, 1.0f});
  Hit(raised, {1, 0, 1.3f}, {3, 0, 1.3f}, rifle, "ray hit mesh");
  Hit(lying, {-2, -0.35f, 1}, {-2, -0.35f, -0.5f}, bullet, "ray hit mesh");
  RunUntil(4000);
  Hit(standing, {0.05f, -1, 1.1f}, {0.05f, 1, 1.1f}, blade, "ray hit mesh");
  Hit(lying, {-1.95f, -0.2f, 1}, {-1.95f, -0.2f, -0.5f}, rifle, "ray hit mesh");
  Hit(raised, {1, 0.1f, 1.0f}, {3, 0.1f, 1.0f}, bullet, "ray hit mesh");
  RunUntil(13000);
  for (const ProceduralPed* ped : {&standing, &raised, &lying}) {
    ASSERT_NE(FindBloodState(State().tables, ped->ped), nullptr);
    EXPECT_TRUE(FindBloodState(State().tables, ped->ped)->wounds.empty());
  }

  const uint64_t kExpected[3] = {0x8881E2C10FFB3CB9ull, 0x7281A66014EE969Full,
                                 0x652DFCF083BCCF51ull};
  const uint64_t actual[3] = {MaskHash(standing), MaskHash(raised), MaskHash(lying)};
  if (std::getenv("VT_PRINT_GOLDEN")) {
    std::printf("  const uint64_t kExpected[3] = {0x%016" PRIX64 "ull, 0x%016" PRIX64
                "ull, 0x%016" PRIX64 "ull};\n",
                actual[0], actual[1], actual[2]);
  }
  EXPECT_EQ(actual[0], kExpected[0]) << "standing";
  EXPECT_EQ(actual[1], kExpected[1]) << "arms raised, root matrix";
  EXPECT_EQ(actual[2], kExpected[2]) << "lying corpse";
}

}  // namespace
