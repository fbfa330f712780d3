// A long session meets the game's ~300 ped models one after another: each new model's ped
// (its geometries new) is shot, drawn for a few frames and leaves the world a little later.
// With the shipped ini at MaskSize 1024, all blood and every per-model cache stays within
// BloodMemory, and after a game reset the plug-in holds nothing per model. Timed per model.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <deque>
#include <memory>

#include "core/config.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "render/blood_geometry.h"
#include "render/blood_pass.h"
#include "wounds/blood_memory.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

constexpr int kModels = 300;
constexpr size_t kPedsInWorld = 8;  // the oldest leaves when another comes
constexpr int kFramesPerModel = 4;
constexpr uint32_t kFrameMs = 33;
constexpr float kSpacing = 1.5f;
constexpr double kMiB = 1024.0 * 1024.0;
const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};

void RunFrame(SimHost& sim, const std::deque<HostPed*>& world) {
  sim.clock += kFrameMs;
  UpdateBloodFrame(Context());
  for (HostPed* ped : world) DrawBloodPass(Context(), State().pass, ped);
}

void RemovePed(SimHost& sim, HostPed* ped) {
  RemovePedBlood(Context(), ped);
  std::replace(sim.pool.begin(), sim.pool.end(), ped, static_cast<HostPed*>(nullptr));
}

void BM_NewModelStream(benchmark::State& bench) {
  double peakMiB = 0.0, budgetMiB = 0.0, afterResetBytes = 0.0, cached = 0.0, perModel = 0.0;
  for (auto _ : bench) {
    bench.PauseTiming();
    auto sim = std::make_unique<SimHost>();
    ResetSystemState();
    State().host = sim.get();
    LoadConfig(State().config, VT_SHIPPED_INI);
    State().config.MaskSize = 1024;
    State().config.PaintBudget = 0.0f;  // the same work on every machine
    budgetMiB = State().config.BloodMemory;
    sim->clock = 1000;
    bench.ResumeTiming();
    std::deque<HostPed*> world;
    uint64_t peak = 0;
    for (int i = 0; i < kModels; ++i) {
      const float x = kSpacing * static_cast<float>(i % static_cast<int>(kPedsInWorld));
      HostPed* ped = AddProceduralPed(*sim, {{x, 0, 0}}).ped;
      world.push_back(ped);
      AddWound(Context(),
               {ped, {x - 0.1f, 1, 1}, {x - 0.1f, -1, 1}, kBullet, "stream", {}, 0.0f, 1.0f});
      for (int f = 0; f < kFramesPerModel; ++f) RunFrame(*sim, world);
      peak = std::max(peak, BloodMemoryBytes(State().tables));
      if (world.size() > kPedsInWorld) {
        RemovePed(*sim, world.front());
        world.pop_front();
      }
    }
    bench.PauseTiming();
    peakMiB = static_cast<double>(peak) / kMiB;
    uint64_t cacheBytes = 0;
    for (const auto& entry : State().tables.bloodGeometryCache) {
      cacheBytes += BloodGeometryBytes(entry.second);
    }
    cached = static_cast<double>(State().tables.bloodGeometryCache.size());
    perModel = cached > 0.0 ? static_cast<double>(cacheBytes) / kMiB / (cached / 2.0) : 0.0;
    ResetAllBlood(Context());
    afterResetBytes = static_cast<double>(BloodMemoryBytes(State().tables));
    if (peakMiB > budgetMiB) bench.SkipWithError("the blood went over BloodMemory");
    if (afterResetBytes != 0.0 || sim->geometriesDestroyed != sim->geometriesMade) {
      bench.SkipWithError("a reset left per-model memory behind");
    }
    State().host = nullptr;
    sim.reset();
    bench.ResumeTiming();
  }
  bench.counters["peak_mib"] = peakMiB;
  bench.counters["budget_mib"] = budgetMiB;
  bench.counters["copies_cached_at_end"] = cached;
  bench.counters["cache_mib_per_model"] = perModel;  // two geometries a model
  bench.counters["bytes_after_reset"] = afterResetBytes;
}
BENCHMARK(BM_NewModelStream)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
