#include "wounds/blood_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/log.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "render/blood_geometry.h"
#include "support/sim_fixture.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;

class BloodMemoryTest : public SimTest {
 protected:
  // A ped whose state holds layers of these mask sizes, hit at clock.
  HostPed* AddBloodyPed(std::vector<size_t> maskBytes, uint32_t clock) {
    HostPed* ped = sim.AddPed({0, 0, 0});
    PedBloodState& state = State().tables.bloodStates[ped];
    for (size_t bytes : maskBytes) {
      state.layers.emplace_back();
      BloodMask& mask = state.layers.back().mask;  // every tile made
      ResetMask(mask, 1024, static_cast<int32_t>(bytes / 1024));
      for (int32_t y = 0; y < mask.height; y += kMaskTileSide) {
        for (int32_t x = 0; x < mask.width; x += kMaskTileSide) SetMaskAt(mask, x, y, 1);
      }
    }
    state.lastHitClock = clock;
    return ped;
  }
};

// Peds are evicted least recently hit first until the rest fits; the player and the ped
// just wounded stay whatever they cost.
TEST_F(BloodMemoryTest, EvictsLeastRecentlyHitPedsUntilTheRestFits) {
  struct Ped {
    size_t mib;  // of masks; five times that in all
    uint32_t clock;
    bool evicted;
  };
  struct Case {
    const char* what;
    float budgetMiB;
    std::vector<Ped> peds;  // the first is the player, the second the ped just wounded
  };
  const Case cases[] = {
      {"within the budget", 30.0f, {{1, 0, false}, {1, 0, false}, {4, 1, false}}},
      {"no budget", 0.0f, {{1, 0, false}, {1, 0, false}, {8, 1, false}}},
      {"one eviction suffices",
       30.0f,
       {{1, 0, false}, {1, 0, false}, {2, 7, false}, {2, 5, true}, {1, 9, false}}},
      {"until it fits, clocks unsigned",
       16.0f,
       {{1, 0, false}, {1, 0, false}, {1, 0xFFFFFFF0u, false}, {1, 3, true}, {1, 2, true}}},
      {"no one else left", 16.0f, {{4, 0, false}, {4, 0, false}, {1, 1, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetAllBlood(Context());
    State().config.BloodMemory = c.budgetMiB;
    std::vector<HostPed*> peds;
    uint64_t expected = 0;
    for (const Ped& ped : c.peds) {
      peds.push_back(AddBloodyPed({ped.mib * kMiB / 2, ped.mib * kMiB / 2}, ped.clock));
      if (!ped.evicted) expected += 5 * ped.mib * kMiB;
    }
    sim.player = peds[0];
    EnforceBloodMemory(Context(), peds[1]);
    for (size_t i = 0; i < peds.size(); ++i) {
      EXPECT_EQ(FindBloodState(State().tables, peds[i]) == nullptr, c.peds[i].evicted) << i;
    }
    EXPECT_EQ(BloodMemoryBytes(State().tables), expected);
  }
}

TEST_F(BloodMemoryTest, EachEvictionIsLogged) {
  OpenLog();
  State().config.BloodMemory = 16.0f;
  HostPed* wounded = AddBloodyPed({3 * kMiB}, 9);
  HostPed* first = AddBloodyPed({kMiB / 2}, 1);
  HostPed* second = AddBloodyPed({kMiB / 2}, 2);
  EnforceBloodMemory(Context(), wounded);
  char line[2][128];
  const int digits = 2 * static_cast<int>(sizeof(void*));
  std::snprintf(line[0], sizeof(line[0]), "blood memory: 20.0 MiB over 16 MiB, evicted ped %0*zX",
                digits, reinterpret_cast<size_t>(first));
  std::snprintf(line[1], sizeof(line[1]), "blood memory: 17.5 MiB over 16 MiB, evicted ped %0*zX",
                digits, reinterpret_cast<size_t>(second));
  std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], line[0]);
  EXPECT_EQ(lines[1], line[1]);
}

// A street fight at the largest masks: every wound leaves the blood within the budget.
TEST_F(BloodMemoryTest, ThirtyTwoPedsAtTheLargestMasksStayWithinTheBudget) {
  State().config.MaskSize = 1024;
  State().config.BloodMemory = 160.0f;
  const WoundProfile bullet{0.035f, 0.0f, 1.0f, 1, 4};
  ProceduralPed model = AddProceduralPed(sim);
  uint64_t peak = 0;
  int wounded = 0;
  for (int i = 0; i < 32; ++i) {
    const float x = 1.5f * static_cast<float>(i);
    HostPed* ped = i == 0 ? model.ped : AddProceduralPedLike(sim, model, {{x, 0, 0}}).ped;
    sim.clock = 1000 + 100 * static_cast<uint32_t>(i);
    wounded +=
        AddWound(Context(), {ped, {x - 0.1f, 1, 1}, {x - 0.1f, -1, 1}, bullet, "", {}, 0.0f, 1.0f});
    peak = std::max(peak, BloodMemoryBytes(State().tables));
  }
  EXPECT_EQ(wounded, 32);
  EXPECT_LE(peak, 160 * kMiB);
  EXPECT_GE(peak, 140 * kMiB);  // the budget was filled, not emptied
}

// A ped hit this frame or the last one keeps its blood whatever it costs; from kFreshHitMs
// on it goes like any other, the least recently hit first.
TEST_F(BloodMemoryTest, APedHitThisFrameOrTheLastIsNeverEvicted) {
  State().config.BloodMemory = 16.0f;
  const uint32_t hit = 5000;
  const struct {
    uint32_t since;  // ms from the hit to the check
    bool kept;
  } rows[] = {{0, true}, {33, true}, {kFreshHitMs - 1, true}, {kFreshHitMs, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.since);
    ResetAllBlood(Context());
    HostPed* older = AddBloodyPed({kMiB}, hit - 1000);
    HostPed* shot = AddBloodyPed({4 * kMiB}, hit);  // 20 MiB alone
    State().tables.bloodStates.at(shot).woundCounter = 1;
    sim.clock = hit + row.since;
    EnforceBloodMemory(Context(), nullptr);  // the per-frame check
    EXPECT_EQ(FindBloodState(State().tables, older), nullptr);
    EXPECT_EQ(FindBloodState(State().tables, shot) != nullptr, row.kept);
  }
}

// The wounded ped keeps its new blood even when it alone is over the budget.
TEST_F(BloodMemoryTest, AWoundNeverEvictsItsOwnPed) {
  State().config.MaskSize = 1024;
  State().config.BloodMemory = 4.0f;  // below one layer's texture
  ProceduralPed model = AddProceduralPed(sim);
  sim.clock = 1000;
  const WoundProfile bullet{0.035f, 0.0f, 1.0f, 1, 4};
  ASSERT_TRUE(
      AddWound(Context(), {model.ped, {-0.1f, 1, 1}, {-0.1f, -1, 1}, bullet, "", {}, 0.0f, 1.0f}));
  EXPECT_GT(BloodMemoryBytes(State().tables), 4 * kMiB);
  EXPECT_NE(FindBloodState(State().tables, model.ped), nullptr);
}

// New models keep coming (each ped's geometries new): peds are evicted for the budget and
// the copies and coverages no ped uses go with them; a reset releases every copy made.
TEST_F(BloodMemoryTest, NewModelsStayWithinTheBudgetAndAResetReleasesThem) {
  Start();
  State().config.MaskSize = 256;
  State().config.SeamMargin = 2;
  State().config.BloodMemory = 2.0f;
  const WoundProfile bullet{0.035f, 0.0f, 1.0f, 1, 4};
  constexpr int kModels = 6;
  for (int i = 0; i < kModels; ++i) {
    const float x = 1.5f * static_cast<float>(i);
    ProceduralPed model = AddProceduralPed(sim, {{x, 0, 0}});
    sim.clock += 100;
    AddWound(Context(),
             {model.ped, {x - 0.1f, 1, 1}, {x - 0.1f, -1, 1}, bullet, "", {}, 0.0f, 1.0f});
    sim.GameRenderPed(model.ped);
    sim.RunFor(100);
    EXPECT_LE(BloodMemoryBytes(State().tables), 2 * kMiB) << i;
  }
  const BloodTables& tables = State().tables;
  uint64_t pedBytes = 0;
  for (const auto& entry : tables.bloodStates) pedBytes += PedBloodBytes(entry.second);
  EXPECT_GT(BloodMemoryBytes(tables), pedBytes);  // the copies count
  EXPECT_GT(sim.geometriesDestroyed, 0);
  EXPECT_LT(tables.bloodGeometryCache.size(), 2u * kModels);  // two geometries a model

  sim.GameReset(HostEvent::FirstReset);
  EXPECT_TRUE(tables.bloodGeometryCache.empty());
  EXPECT_EQ(BloodMemoryBytes(tables), 0u);
  EXPECT_EQ(sim.geometriesDestroyed, sim.geometriesMade);
}

// Over the budget, a copy goes once no ped paints on its geometry and no draw of this
// frame used it.
TEST_F(BloodMemoryTest, OnlyCopiesNoPedAndNoDrawOfThisFrameUsesGo) {
  State().config.MaskSize = 256;
  State().config.BloodMemory = 0.1f;  // the player's blood alone is over it
  ProceduralPed model = AddProceduralPed(sim);
  sim.player = model.ped;
  sim.clock = 1000;
  const WoundProfile bullet{0.035f, 0.0f, 1.0f, 1, 4};
  ASSERT_TRUE(
      AddWound(Context(), {model.ped, {-0.1f, 1, 1}, {-0.1f, -1, 1}, bullet, "", {}, 0.0f, 1.0f}));
  HostGeometry* body = GetBloodGeometry(Context(), model.bodyGeometry);  // painted on
  HostGeometry* head = GetBloodGeometry(Context(), model.headGeometry);  // only drawn
  EnforceBloodMemory(Context(), nullptr);
  EXPECT_FALSE(SimHost::Sim(head)->destroyed);
  sim.clock += 33;
  EnforceBloodMemory(Context(), nullptr);
  EXPECT_TRUE(SimHost::Sim(head)->destroyed);
  EXPECT_FALSE(SimHost::Sim(body)->destroyed);
  EXPECT_EQ(State().tables.bloodGeometryCache.size(), 1u);
}

}  // namespace
