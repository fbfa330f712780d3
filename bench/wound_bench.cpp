// The wound model's hot paths on the procedural ped: a posed snapshot, one wound through
// the chest, one repaint of a flowing wound, the seam coverage of a material, and a crowd
// frame of bloody peds.
#include <benchmark/benchmark.h>

#include <vector>

#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "render/blood_geometry.h"
#include "render/material_coverage.h"
#include "render/wound_stamp.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"
#include "wounds/wound_placement.h"

namespace {

const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};
constexpr int kCrowd = 32;

// A fresh process on sim with drips on (the costlier case) and the given mask size.
void Begin(SimHost& sim, int32_t maskSize) {
  ResetSystemState();
  State().host = &sim;
  State().config.Drips = 1;
  State().config.MaskSize = maskSize;
  sim.clock = 1000;
}

// A shot through the chest of a ped standing at x that paints at full bleed and costs no
// blood, so that every iteration does the same work.
bool ChestShot(const ProceduralPed& ped, float x, float dx = 0.0f, float z = 1.3f) {
  return AddWound(
      Context(),
      {ped.ped, {x + 0.02f + dx, 1, z}, {x + 0.02f + dx, -1, z}, kBullet, "bench", {}, 0.0f, 1.0f});
}

void BM_PosedMeshSnapshot(benchmark::State& bench) {
  SimHost sim;
  Begin(sim, 256);
  ProceduralPed ped = AddProceduralPed(sim, {});
  for (auto _ : bench) {
    PosedMeshSnapshot snapshot;
    benchmark::DoNotOptimize(TakePosedMeshSnapshot(Context(), ped.ped, snapshot));
  }
}
BENCHMARK(BM_PosedMeshSnapshot);

void BM_AddWoundThroughChest(benchmark::State& bench) {
  SimHost sim;
  Begin(sim, static_cast<int32_t>(bench.range(0)));
  ProceduralPed ped = AddProceduralPed(sim, {});
  if (!ChestShot(ped, 0.0f)) bench.SkipWithError("the chest shot missed");
  for (auto _ : bench) benchmark::DoNotOptimize(ChestShot(ped, 0.0f));
}
BENCHMARK(BM_AddWoundThroughChest)->Arg(256)->Arg(1024);

void BM_PaintWoundAtFourSeconds(benchmark::State& bench) {
  SimHost sim;
  Begin(sim, static_cast<int32_t>(bench.range(0)));
  ProceduralPed ped = AddProceduralPed(sim, {});
  if (!ChestShot(ped, 0.0f)) bench.SkipWithError("the chest shot missed");
  PedBloodState& state = *FindBloodState(State().tables, ped.ped);
  const Wound wound = state.wounds.at(0);
  PosedMeshSnapshot snapshot;
  TakePosedMeshSnapshot(Context(), ped.ped, snapshot);
  int32_t painted = 0;
  for (auto _ : bench) painted = PaintWound(Context(), state.layers, wound, snapshot, 4.0f);
  bench.counters["triangles"] = painted;
}
BENCHMARK(BM_PaintWoundAtFourSeconds)->Arg(256)->Arg(1024);

// The coverage of the body's clothes, made once per geometry when the seam margin first
// needs it: a hitch on the first wound at that mask size.
void BM_ClothesCoverage(benchmark::State& bench) {
  SimHost sim;
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  Begin(sim, maskSize);
  ProceduralPed ped = AddProceduralPed(sim, {});
  const GeometryView source = sim.GetGeometry(ped.bodyGeometry);
  const GeometryView blood = sim.GetGeometry(GetBloodGeometry(Context(), ped.bodyGeometry));
  TexelCoverage coverage;
  for (auto _ : bench) {
    BuildTexelCoverage(source.triangles, source.triangleCount, blood.texCoords, blood.vertexCount,
                       1, 2 * maskSize, maskSize, coverage);
  }
}
BENCHMARK(BM_ClothesCoverage)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

// 32 peds of one model, 24 flowing wounds each over the torso, all due every iteration.
void BM_CrowdRefresh(benchmark::State& bench) {
  SimHost sim;
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  Begin(sim, maskSize);
  std::vector<ProceduralPed> crowd;
  crowd.push_back(AddProceduralPed(sim, {}));
  for (int i = 1; i < kCrowd; ++i) {
    crowd.push_back(AddProceduralPedLike(sim, crowd[0], {{1.5f * i, 0, 0}}));
  }
  for (int i = 0; i < kCrowd; ++i) {
    for (int w = 0; w < 24; ++w) {
      sim.clock = 1000 + 100 * static_cast<uint32_t>(w);
      const float dx = 0.05f * static_cast<float>(w % 6) - 0.13f;
      const float z = 1.0f + 0.07f * static_cast<float>(w / 6);
      if (!ChestShot(crowd[static_cast<size_t>(i)], 1.5f * i, dx, z)) {
        bench.SkipWithError("a crowd shot missed");
        return;
      }
    }
  }
  sim.clock = 6000;  // every wound 2.7 to 5 s old: still flowing
  size_t layers = 0;
  for (auto& entry : State().tables.bloodStates) {
    if (entry.second.wounds.size() != 24) bench.SkipWithError("a ped lost wounds");
    layers += entry.second.layers.size();
  }
  for (auto _ : bench) {
    for (auto& entry : State().tables.bloodStates) entry.second.nextRefreshTime = 0.0f;
    RefreshBloodStates(Context());
  }
  // What one bloody ped holds: its masks, and the 32-bit textures the blood pass makes.
  const double perPed = static_cast<double>(layers) / kCrowd;
  const double maskBytes = 2.0 * maskSize * maskSize;
  bench.counters["layers_per_ped"] = perPed;
  bench.counters["mask_KiB_per_ped"] = perPed * maskBytes / 1024.0;
  bench.counters["texture_KiB_per_ped"] = perPed * maskBytes * 4.0 / 1024.0;
}
BENCHMARK(BM_CrowdRefresh)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

}  // namespace
