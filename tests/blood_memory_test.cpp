#include "wounds/blood_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/log.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
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

}  // namespace
