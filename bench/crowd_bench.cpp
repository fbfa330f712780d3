// A street fight at 60 fps: 32 bloody peds whose flowing wounds are repainted as their
// refreshes come due and uploaded by the blood pass, timed frame by frame in thread CPU
// time; and a hash of every mask byte after the same fight, which a faster painter must
// reproduce exactly.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/config.h"
#include "host/sim/procedural_ped.h"
#include "plugin/system_state.h"
#include "render/blood_pass.h"
#include "wounds/blood_memory.h"
#include "wounds/blood_state.h"
#include "wounds/wound_placement.h"

namespace {

// --- Every call into the system goes through these helpers.

const WoundProfile kBullet{0.035f, 0.0f, 1.0f, 1, 4};

// Settings: the built-in ones, or the shipped ini's (VT_SHIPPED_INI) with its every
// feature on but its memory budget, which at MaskSize 1024 would leave a third of the
// crowd bloody; the mask size and drips as given either way.
void StartProcess(SimHost& sim, int32_t maskSize, bool drips, bool shippedIni) {
  ResetSystemState();
  State().host = &sim;
  if (shippedIni) {
    LoadConfig(State().config, VT_SHIPPED_INI);
    State().config.BloodMemory = 0.0f;
  }
  State().config.MaskSize = maskSize;
  State().config.Drips = drips ? 1 : 0;
}

void EndProcess() { State().host = nullptr; }

float FlowTimeSeconds() { return Config().FlowTime; }

// The shipped ini's frame budget for repaints (0: none).
void SetPaintBudget(float milliseconds) { State().config.PaintBudget = milliseconds; }

// All peds share the first one's model, as a gang of one model does.
std::vector<ProceduralPed> AddPeds(SimHost& sim, const std::vector<PedPlacement>& placements) {
  std::vector<ProceduralPed> peds;
  for (const PedPlacement& placement : placements) {
    peds.push_back(peds.empty() ? AddProceduralPed(sim, placement)
                                : AddProceduralPedLike(sim, peds[0], placement));
  }
  return peds;
}

void MovePed(SimHost& sim, const ProceduralPed& ped, const PedPlacement& placement) {
  PoseProceduralPed(sim, ped, placement);
}

// A bullet along -y through (x, z) at full bleed that costs no blood, so that no ped
// bleeds out and every wound paints.
bool AddBulletWound(HostPed* ped, float x, float z) {
  return AddWound(Context(), {ped, {x, 1, z}, {x, -1, z}, kBullet, "crowd", {}, 0.0f, 1.0f});
}

// The (mesh, triangle) of each flowing wound of the ped.
std::vector<std::pair<HostMesh*, int32_t>> WoundTriangles(HostPed* ped) {
  std::vector<std::pair<HostMesh*, int32_t>> triangles;
  if (const PedBloodState* state = FindBloodState(State().tables, ped)) {
    for (const Wound& wound : state->wounds) triangles.push_back({wound.mesh, wound.triangle});
  }
  return triangles;
}

// The ped's next refresh falls on the frame whose clock reads clockMs.
void SetNextRefresh(HostPed* ped, uint32_t clockMs) {
  if (PedBloodState* state = FindBloodState(State().tables, ped)) {
    state->nextRefreshTime = static_cast<float>(clockMs) / 1000.0f;
  }
}

// The blood pass of every ped, which uploads the layers painted since the last one.
void DrawBlood(const std::vector<ProceduralPed>& crowd) {
  for (const ProceduralPed& ped : crowd) DrawBloodPass(Context(), ped.ped);
}

void RunFrame(const std::vector<ProceduralPed>& crowd) {
  UpdateBloodFrame(Context());
  DrawBlood(crowd);
}

// Calls visit(amounts) for each of the ped's masks, whole, in layer order.
template <typename Visit>
void ForEachMask(HostPed* ped, Visit visit) {
  if (const PedBloodState* state = FindBloodState(State().tables, ped)) {
    for (const MaskLayer& layer : state->layers) visit(MaskBytes(layer.mask));
  }
}

// --- The fight.

constexpr int kCrowd = 32;
constexpr int kWoundsPerPed = 24;
constexpr int kFrames = 60;
constexpr int kFramesPerRefresh = 6;  // kRefreshInterval at 60 fps
constexpr float kSpacing = 1.5f;
constexpr uint32_t kFightStartMs = 20000;

// Where the shots land, across the ped at x = 0 (left side at -x): torso, arms and hands,
// thighs and calves, off the plane of symmetry so that no shot runs along shared edges.
struct Target {
  float dx, z;
};
constexpr Target kTargets[kWoundsPerPed] = {
    {-0.11f, 1.0f},  {0.235f, 1.3f}, {-0.105f, 0.8f}, {0.02f, 1.3f},  {-0.26f, 1.0f},
    {0.11f, 0.4f},   {0.07f, 1.0f},  {-0.28f, 0.78f}, {-0.05f, 1.3f}, {0.108f, 0.6f},
    {0.12f, 1.3f},   {-0.11f, 0.2f}, {0.02f, 1.0f},   {0.26f, 1.0f},  {-0.108f, 0.6f},
    {-0.11f, 1.3f},  {0.105f, 0.8f}, {0.12f, 1.0f},   {0.28f, 0.78f}, {-0.11f, 0.4f},
    {-0.235f, 1.3f}, {0.07f, 1.3f},  {0.11f, 0.2f},   {-0.05f, 1.0f},
};

// Whole milliseconds of frame f at 60 fps, without drift.
uint32_t FrameClock(int frame) { return kFightStartMs + static_cast<uint32_t>(frame * 1000 / 60); }

// Where ped i stands at frame f: standing still, or shuffling and turning a little every
// frame so that each refresh sees a new pose.
PedPlacement Placement(int i, int frame, bool moving) {
  PedPlacement placement;
  placement.position = {kSpacing * static_cast<float>(i), 0, 0};
  if (moving) {
    placement.position.y = 0.002f * static_cast<float>(frame);
    placement.heading = 0.002f * static_cast<float>(frame);
  }
  return placement;
}

// Fills sim with the crowd at frame 0: 24 flowing wounds per ped on 24 triangles, aged
// evenly over FlowTime, refreshes staggered over a refresh interval as in a real fight,
// and the blood uploaded as the frames of the shots did. Empty when a shot missed or two
// wounds of a ped share a triangle.
std::vector<ProceduralPed> BuildCrowd(SimHost& sim, int32_t maskSize, bool drips, bool shippedIni) {
  StartProcess(sim, maskSize, drips, shippedIni);
  std::vector<PedPlacement> placements;
  for (int i = 0; i < kCrowd; ++i) placements.push_back(Placement(i, 0, false));
  std::vector<ProceduralPed> crowd = AddPeds(sim, placements);
  const float flowMs = 1000.0f * FlowTimeSeconds();
  for (int w = 0; w < kWoundsPerPed; ++w) {  // oldest first
    const float age = flowMs * (static_cast<float>(kWoundsPerPed - w) - 0.5f) / kWoundsPerPed;
    sim.clock = kFightStartMs - static_cast<uint32_t>(age);
    for (int i = 0; i < kCrowd; ++i) {
      const float x = kSpacing * static_cast<float>(i) + kTargets[w].dx;
      if (!AddBulletWound(crowd[static_cast<size_t>(i)].ped, x, kTargets[w].z)) return {};
    }
  }
  for (int i = 0; i < kCrowd; ++i) {
    auto triangles = WoundTriangles(crowd[static_cast<size_t>(i)].ped);
    std::sort(triangles.begin(), triangles.end());
    if (triangles.size() != kWoundsPerPed ||
        std::adjacent_find(triangles.begin(), triangles.end()) != triangles.end()) {
      return {};
    }
    SetNextRefresh(crowd[static_cast<size_t>(i)].ped, FrameClock(1 + i % kFramesPerRefresh));
  }
  sim.clock = FrameClock(0);
  DrawBlood(crowd);
  return crowd;
}

double ThreadCpuMs() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return 1e3 * static_cast<double>(now.tv_sec) + 1e-6 * static_cast<double>(now.tv_nsec);
}

// Frames 1 to 60 of the fight; the thread CPU milliseconds of each.
std::vector<double> RunFight(SimHost& sim, const std::vector<ProceduralPed>& crowd, bool moving) {
  std::vector<double> frameMs;
  for (int f = 1; f <= kFrames; ++f) {
    sim.clock = FrameClock(f);
    if (moving) {
      for (int i = 0; i < kCrowd; ++i) {
        MovePed(sim, crowd[static_cast<size_t>(i)], Placement(i, f, true));
      }
    }
    sim.draws.clear();  // the simulator's record of draws would only grow
    const double start = ThreadCpuMs();
    RunFrame(crowd);
    frameMs.push_back(ThreadCpuMs() - start);
  }
  return frameMs;
}

// 32-bit FNV-1a of every mask byte, in ped creation order and then layer order.
uint32_t MaskHash(const std::vector<ProceduralPed>& crowd) {
  uint32_t hash = 2166136261u;
  for (const ProceduralPed& ped : crowd) {
    ForEachMask(ped.ped, [&hash](const std::vector<uint8_t>& texels) {
      for (uint8_t texel : texels) hash = (hash ^ texel) * 16777619u;
    });
  }
  return hash;
}

void BM_SteadyCrowd(benchmark::State& bench) {
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  const bool drips = bench.range(1) != 0;
  const bool moving = bench.range(2) != 0;
  const float budgetMs = static_cast<float>(bench.range(3));
  const bool shippedIni = bench.range(4) != 0;
  double total = 0.0, worst = 0.0;
  size_t frames = 0;
  double layers = 0.0, bytes = 0.0;
  for (auto _ : bench) {
    bench.PauseTiming();
    auto sim = std::make_unique<SimHost>();
    const std::vector<ProceduralPed> crowd = BuildCrowd(*sim, maskSize, drips, shippedIni);
    if (crowd.empty()) {
      bench.SkipWithError("a shot missed or hit a wounded triangle");
      EndProcess();
      return;
    }
    SetPaintBudget(budgetMs);
    bench.ResumeTiming();
    const std::vector<double> frameMs = RunFight(*sim, crowd, moving);
    bench.PauseTiming();
    double fight = 0.0;
    for (double ms : frameMs) fight += ms;
    bench.SetIterationTime(fight / 1e3);
    total += fight;
    frames += frameMs.size();
    worst = std::max(worst, *std::max_element(frameMs.begin(), frameMs.end()));
    layers = 0.0;
    for (const auto& entry : State().tables.bloodStates) layers += entry.second.layers.size();
    bytes = static_cast<double>(BloodMemoryBytes(State().tables));
    EndProcess();
    sim.reset();
    bench.ResumeTiming();
  }
  bench.counters["frame_avg_ms"] = total / static_cast<double>(std::max<size_t>(frames, 1));
  bench.counters["frame_worst_ms"] = worst;
  bench.counters["layers_per_ped"] = layers / kCrowd;
  bench.counters["mib_per_ped"] = bytes / kCrowd / (1024.0 * 1024.0);
}
BENCHMARK(BM_SteadyCrowd)
    ->ArgsProduct({{256, 1024}, {0, 1}, {0, 1}, {0}, {0}})
    ->ArgsProduct({{256, 1024}, {1}, {0, 1}, {1}, {0, 1}})
    ->ArgNames({"mask", "drips", "moving", "budget_ms", "shipped_ini"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_CrowdMaskHash(benchmark::State& bench) {
  const int32_t maskSize = static_cast<int32_t>(bench.range(0));
  const bool moving = bench.range(1) != 0;
  uint32_t hash = 0;
  for (auto _ : bench) {
    SimHost sim;
    const std::vector<ProceduralPed> crowd = BuildCrowd(sim, maskSize, true, false);
    if (crowd.empty()) {
      bench.SkipWithError("a shot missed or hit a wounded triangle");
      EndProcess();
      return;
    }
    RunFight(sim, crowd, moving);
    hash = MaskHash(crowd);
    EndProcess();
  }
  // Halves of 16 bits print exactly.
  bench.counters["hash_lo"] = static_cast<double>(hash & 0xFFFFu);
  bench.counters["hash_hi"] = static_cast<double>(hash >> 16);
}
BENCHMARK(BM_CrowdMaskHash)
    ->ArgsProduct({{256, 1024}, {0, 1}})
    ->ArgNames({"mask", "moving"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
