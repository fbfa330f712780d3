// The stress crowd and the realistic fight (fight_scenarios.h) as benchmarks: frame times,
// the median interval between two paintings of a wound, memory per ped, and a hash of
// every mask byte, which a faster painter must reproduce exactly where it claims to.
#include <benchmark/benchmark.h>

#include "fight_scenarios.h"

namespace {

void Report(benchmark::State& bench, const FightFigures& figures, double iterationMs) {
  if (!figures.valid) {
    bench.SkipWithError("a shot missed or hit a wounded triangle");
    return;
  }
  bench.SetIterationTime(iterationMs / 1e3);
  bench.counters["frame_avg_ms"] = figures.frameAvgMs;
  bench.counters["frame_worst_ms"] = figures.frameWorstMs;
  bench.counters["frame_worst_no_new_texture_ms"] = figures.frameWorstWithoutNewTextureMs;
  bench.counters["repaint_interval_ms"] = figures.repaintIntervalMs;
  bench.counters["since_paint_ms"] = figures.sinceLastPaintMs;
  bench.counters["layers_per_ped"] = figures.layersPerPed;
  bench.counters["mib_per_ped"] = figures.mibPerPed;
}

// A fight runs once and is timed by its own frames' clock.
void OnceByItsFrames(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
}

// The settings of a crowd's first arguments: mask, moving, budget_ms, follow_pose.
FightSettings CrowdSettings(const benchmark::State& bench) {
  FightSettings settings;
  settings.maskSize = static_cast<int32_t>(bench.range(0));
  settings.moving = bench.range(1) != 0;
  settings.budgetMs = static_cast<float>(bench.range(2));
  settings.followPose = static_cast<int32_t>(bench.range(3));
  return settings;
}

void BM_SteadyCrowd(benchmark::State& bench) {
  FightSettings settings = CrowdSettings(bench);
  settings.shippedIni = bench.range(4) != 0;
  for (auto _ : bench) {
    const FightFigures figures = RunStressCrowd(settings);
    Report(bench, figures, figures.frameAvgMs * 60.0);
  }
}
BENCHMARK(BM_SteadyCrowd)
    ->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}, {0, 1}, {0}})
    ->ArgsProduct({{256, 1024}, {1}, {1}, {0}, {1}})
    ->ArgNames({"mask", "moving", "budget_ms", "follow_pose", "shipped_ini"})
    ->Apply(OnceByItsFrames);

void BM_RealisticFight(benchmark::State& bench) {
  FightSettings settings;
  settings.maskSize = static_cast<int32_t>(bench.range(0));
  settings.budgetMs = static_cast<float>(bench.range(1));
  settings.followPose = static_cast<int32_t>(bench.range(2));
  settings.moving = true;
  for (auto _ : bench) {
    const FightFigures figures = RunRealisticFight(settings);
    Report(bench, figures, figures.frameAvgMs * 600.0);
  }
}
BENCHMARK(BM_RealisticFight)
    ->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}})
    ->ArgNames({"mask", "budget_ms", "follow_pose"})
    ->Apply(OnceByItsFrames);

// The crowd's wounds painted only when made, then one second of fight: with peds still
// (or FollowPose on) the hashes of the first painter, 0xABB241A3 (256), 0x61376652 (1024),
// and with peds re-posed 0xC5E5F7FA (256) and 0xB54ED35A (1024). tests/crowd pins them.
void BM_CrowdMaskHash(benchmark::State& bench) {
  FightSettings settings = CrowdSettings(bench);
  settings.warm = false;
  uint32_t hash = 0;
  for (auto _ : bench) {
    hash = RunStressCrowd(settings).maskHash;
    // A budget counts work, not time: the same fight paints the same blood again.
    if (settings.budgetMs > 0.0f && RunStressCrowd(settings).maskHash != hash) {
      bench.SkipWithError("two budgeted runs painted different blood");
    }
  }
  // Halves of 16 bits print exactly.
  bench.counters["hash_lo"] = static_cast<double>(hash & 0xFFFFu);
  bench.counters["hash_hi"] = static_cast<double>(hash >> 16);
}
BENCHMARK(BM_CrowdMaskHash)
    ->ArgsProduct({{256, 1024}, {0, 1}, {0}, {0, 1}})
    ->ArgsProduct({{256}, {1}, {1}, {0}})
    ->ArgNames({"mask", "moving", "budget_ms", "follow_pose"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
