#include "fight_scenarios.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

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

// When the wound was last painted, in seconds (< 0: not yet).
float PaintedAt(const Wound& wound) {
  return wound.paintedAge < 0.0f ? -1.0f : wound.time + wound.paintedAge;
}

void StartProcess(SimHost& sim, const FightSettings& settings) {
  ResetSystemState();
  State().host = &sim;
  if (settings.shippedIni) {
    LoadConfig(State().config, VT_SHIPPED_INI);
    // At MaskSize 1024 the shipped memory budget would leave a third of the crowd bloody.
    State().config.BloodMemory = 0.0f;
  }
  State().config.MaskSize = settings.maskSize;
  State().config.Drips = settings.drips ? 1 : 0;
  State().config.FollowPose = settings.followPose;
}

void EndProcess() { State().host = nullptr; }

double ThreadCpuMs() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](FILETIME t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return 1e-4 * static_cast<double>(ticks(kernel) + ticks(user));
#else
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return 1e3 * static_cast<double>(now.tv_sec) + 1e-6 * static_cast<double>(now.tv_nsec);
#endif
}

// A bullet along -y through (x, z) at full bleed that costs no blood, so that no ped
// bleeds out and every wound paints.
bool AddBulletWound(HostPed* ped, float x, float z) {
  return AddWound(Context(), {ped, {x, 1, z}, {x, -1, z}, kBullet, "fight", {}, 0.0f, 1.0f});
}

void RunFrame(const std::vector<ProceduralPed>& peds) {
  UpdateBloodFrame(Context());
  for (const ProceduralPed& ped : peds) DrawBloodPass(Context(), State().pass, ped.ped);
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1.0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// Frame times, and the paintings of every wound, followed frame by frame.
class FightRecord {
 public:
  explicit FightRecord(int surfacesMade) : surfacesMade_(surfacesMade) {}
  void Frame(double ms, const std::vector<ProceduralPed>& peds, int surfacesMade) {
    frameMs_.push_back(ms);
    if (surfacesMade == surfacesMade_)
      worstWithoutNewTexture_ = std::max(worstWithoutNewTexture_, ms);
    surfacesMade_ = surfacesMade;
    const float now = Context().now;
    for (const ProceduralPed& ped : peds) {
      const PedBloodState* state = FindBloodState(State().tables, ped.ped);
      if (!state) continue;
      for (const Wound& wound : state->wounds) {
        const float at = PaintedAt(wound);
        if (at < 0.0f) continue;
        float& last = lastPainted_[{ped.ped, wound.time, wound.triangle}];
        if (last > 0.0f && at > last) intervals_.push_back(1e3 * (at - last));
        last = at;
        latest_[{ped.ped, wound.time, wound.triangle}] = now - at;
      }
    }
  }

  void Fill(FightFigures& figures, const std::vector<ProceduralPed>& peds) const {
    double total = 0.0;
    for (double ms : frameMs_) total += ms;
    figures.frameAvgMs = total / static_cast<double>(std::max<size_t>(frameMs_.size(), 1));
    figures.frameWorstMs =
        frameMs_.empty() ? 0.0 : *std::max_element(frameMs_.begin(), frameMs_.end());
    figures.frameWorstWithoutNewTextureMs = worstWithoutNewTexture_;
    figures.repaintIntervalMs = Median(intervals_);
    std::vector<double> since;
    for (const auto& entry : latest_) since.push_back(1e3 * entry.second);
    figures.sinceLastPaintMs = Median(since);
    double layers = 0.0;
    for (const auto& entry : State().tables.bloodStates) layers += entry.second.layers.size();
    const double count = static_cast<double>(std::max<size_t>(peds.size(), 1));
    figures.layersPerPed = layers / count;
    figures.mibPerPed =
        static_cast<double>(BloodMemoryBytes(State().tables)) / count / (1024.0 * 1024.0);
    uint32_t hash = 2166136261u;
    for (const ProceduralPed& ped : peds) {
      const PedBloodState* state = FindBloodState(State().tables, ped.ped);
      if (!state) continue;
      for (const MaskLayer& layer : state->layers) {
        for (uint8_t texel : MaskBytes(layer.mask)) hash = (hash ^ texel) * 16777619u;
      }
    }
    figures.maskHash = hash;
    figures.valid = true;
  }

 private:
  using WoundKey = std::tuple<HostPed*, float, int32_t>;
  std::vector<double> frameMs_;
  double worstWithoutNewTexture_ = 0.0;
  int surfacesMade_ = 0;
  std::map<WoundKey, float> lastPainted_;
  std::map<WoundKey, float> latest_;
  std::vector<double> intervals_;
};

// --- The stress crowd.

constexpr int kCrowd = 32;
constexpr int kWoundsPerPed = 24;
constexpr int kCrowdFrames = 60;
constexpr int kFramesPerRefresh = 6;  // the refresh interval at 60 fps
constexpr float kSpacing = 1.5f;
constexpr uint32_t kFightStartMs = 20000;
constexpr uint32_t kWarmStepMs = 100;

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
uint32_t FrameClock(uint32_t startMs, int frame) {
  return startMs + static_cast<uint32_t>(frame * 1000 / 60);
}

// Where ped i stands at frame f: standing still, or shuffling and turning a little every
// frame so that each refresh sees a new pose.
PedPlacement Placement(float x, int frame, bool moving) {
  PedPlacement placement;
  placement.position = {x, 0, 0};
  if (moving) {
    placement.position.y = 0.002f * static_cast<float>(frame);
    placement.heading = 0.002f * static_cast<float>(frame);
  }
  return placement;
}

// All peds share the first one's model, as a gang of one model does.
ProceduralPed AddPed(SimHost& sim, const std::vector<ProceduralPed>& peds, const PedPlacement& at) {
  return peds.empty() ? AddProceduralPed(sim, at) : AddProceduralPedLike(sim, peds[0], at);
}

// The crowd at frame 0: 24 flowing wounds per ped on 24 triangles, aged evenly over
// FlowTime, refreshes staggered over a refresh interval, the blood uploaded. Warm, the
// wounds were made in turn with every ped repainted in between, as in a long fight; else
// each was painted only when made. Empty when a shot missed or two wounds of a ped share a
// triangle.
std::vector<ProceduralPed> BuildCrowd(SimHost& sim, const FightSettings& settings) {
  std::vector<ProceduralPed> crowd;
  for (int i = 0; i < kCrowd; ++i) {
    crowd.push_back(AddPed(sim, crowd, Placement(kSpacing * static_cast<float>(i), 0, false)));
  }
  const float flowMs = 1000.0f * Config().FlowTime;
  for (int w = 0; w < kWoundsPerPed; ++w) {  // oldest first
    const float age = flowMs * (static_cast<float>(kWoundsPerPed - w) - 0.5f) / kWoundsPerPed;
    const uint32_t clock = kFightStartMs - static_cast<uint32_t>(age);
    if (settings.warm && w > 0) {
      for (; sim.clock + kWarmStepMs < clock; sim.clock += kWarmStepMs) UpdateBloodFrame(Context());
    }
    sim.clock = clock;
    for (int i = 0; i < kCrowd; ++i) {
      const float x = kSpacing * static_cast<float>(i) + kTargets[w].dx;
      if (!AddBulletWound(crowd[static_cast<size_t>(i)].ped, x, kTargets[w].z)) return {};
    }
  }
  for (int i = 0; i < kCrowd; ++i) {
    PedBloodState* state = FindBloodState(State().tables, crowd[static_cast<size_t>(i)].ped);
    std::vector<int32_t> triangles;
    for (const Wound& wound : state->wounds) triangles.push_back(wound.triangle);
    std::sort(triangles.begin(), triangles.end());
    if (triangles.size() != kWoundsPerPed ||
        std::adjacent_find(triangles.begin(), triangles.end()) != triangles.end()) {
      return {};
    }
    state->nextRefreshTime =
        static_cast<float>(FrameClock(kFightStartMs, 1 + i % kFramesPerRefresh)) / 1000.0f;
  }
  sim.clock = FrameClock(kFightStartMs, 0);
  for (const ProceduralPed& ped : crowd) DrawBloodPass(Context(), State().pass, ped.ped);
  return crowd;
}

// --- The realistic fight.

constexpr int kFighters = 8;
constexpr int kFightFrames = 600;
constexpr int kFramesPerHit = 15;      // four hits a second
constexpr int kFramesPerArrival = 30;  // a new ped every half second until all are there
constexpr int kFightTargets = 12;      // the first targets of the crowd's, in turn

// Fighters sway and turn a little every frame, so that every refresh sees a new pose.
PedPlacement Sway(size_t i, int frame) {
  const float t = static_cast<float>(frame) + 7.0f * static_cast<float>(i);
  PedPlacement placement;
  placement.position = {kSpacing * static_cast<float>(i), 0.05f * std::sin(0.1f * t), 0};
  placement.heading = 0.08f * std::sin(0.05f * t);
  return placement;
}

}  // namespace

FightFigures RunStressCrowd(const FightSettings& settings) {
  FightFigures figures;
  auto sim = std::make_unique<SimHost>();
  StartProcess(*sim, settings);
  const std::vector<ProceduralPed> crowd = BuildCrowd(*sim, settings);
  if (crowd.empty()) {
    EndProcess();
    return figures;
  }
  State().config.PaintBudget = settings.budgetMs;
  FightRecord record(sim->surfacesMade);
  for (int f = 1; f <= kCrowdFrames; ++f) {
    sim->clock = FrameClock(kFightStartMs, f);
    if (settings.moving) {
      for (int i = 0; i < kCrowd; ++i) {
        PoseProceduralPed(*sim, crowd[static_cast<size_t>(i)],
                          Placement(kSpacing * static_cast<float>(i), f, true));
      }
    }
    sim->draws.clear();  // the simulator's record of draws would only grow
    const double start = ThreadCpuMs();
    RunFrame(crowd);
    record.Frame(ThreadCpuMs() - start, crowd, sim->surfacesMade);
  }
  record.Fill(figures, crowd);
  EndProcess();
  return figures;
}

FightFigures RunRealisticFight(const FightSettings& settings) {
  FightFigures figures;
  auto sim = std::make_unique<SimHost>();
  StartProcess(*sim, settings);
  State().config.PaintBudget = settings.budgetMs;
  std::vector<ProceduralPed> peds;
  FightRecord record(sim->surfacesMade);
  int hits = 0;
  for (int f = 0; f < kFightFrames; ++f) {
    sim->clock = FrameClock(kFightStartMs, f);
    const double start = ThreadCpuMs();
    if (f % kFramesPerArrival == 0 && peds.size() < kFighters) {
      peds.push_back(AddPed(*sim, peds, Sway(peds.size(), f)));
    }
    for (size_t i = 0; i < peds.size(); ++i) PoseProceduralPed(*sim, peds[i], Sway(i, f));
    if (f % kFramesPerHit == 0) {
      // Round the peds there, each taking the targets in turn.
      const size_t i = static_cast<size_t>(hits) % peds.size();
      const Target target = kTargets[(hits / kFighters) % kFightTargets];
      if (!AddBulletWound(peds[i].ped, Sway(i, f).position.x + target.dx, target.z)) {
        EndProcess();
        return figures;
      }
      ++hits;
    }
    sim->draws.clear();
    RunFrame(peds);
    record.Frame(ThreadCpuMs() - start, peds, sim->surfacesMade);
  }
  record.Fill(figures, peds);
  EndProcess();
  return figures;
}
