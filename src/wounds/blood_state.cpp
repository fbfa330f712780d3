#include "wounds/blood_state.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <numeric>
#include <tuple>

#include "core/float_math.h"
#include "render/blood_geometry.h"
#include "render/blood_pass.h"
#include "render/wound_footprint.h"
#include "wounds/blood_memory.h"
#include "wounds/posed_mesh.h"

namespace {

// The decay curve B: 1 at 0, 0 from 1 on. The exponentials are taken in double and
// rounded to float; the rest is float arithmetic. NaN falls to 0 with x >= 1.
float Decay(float x) {
  if (!(x < 1.0f)) return 0.0f;
  const float e = static_cast<float>(portable::Exp(-3.0 * static_cast<double>(x)));
  const float e3 = static_cast<float>(portable::Exp(-3.0));
  return (e - e3) / (1.0f - e3);
}

// Units of loss that bleed a ped out: the least common multiple of the caps, so that every
// share is a whole number of units (0 when it does not fit). Summed in float, n shares of
// 1 / n end up to a few hundred units in the last place off 1, either side.
uint64_t LossScale(const BloodConfig& config) {
  constexpr uint64_t kLimit = uint64_t{1} << 62;
  uint64_t scale = 1;
  for (int32_t cap : {config.MaxBulletWounds, config.MaxExplosionWounds, config.MaxFallWounds}) {
    const uint64_t n = static_cast<uint64_t>(std::max(cap, 1));
    const uint64_t factor = n / std::gcd(scale, n);
    if (scale > kLimit / factor) return 0;
    scale *= factor;
  }
  return scale;
}

uint64_t LossUnits(const BloodConfig& config, float increment, uint64_t scale) {
  for (int32_t cap : {config.MaxBulletWounds, config.MaxExplosionWounds, config.MaxFallWounds}) {
    const int32_t n = std::max(cap, 1);
    if (increment == 1.0f / static_cast<float>(n)) return scale / static_cast<uint64_t>(n);
  }
  if (!(increment > 0.0f)) return 0;
  if (increment >= 1.0f) return scale;
  return static_cast<uint64_t>(
      std::llround(static_cast<double>(increment) * static_cast<double>(scale)));
}

void ReleaseLayers(HostGame& host, PedBloodState& state) {
  for (MaskLayer& layer : state.layers) ReleaseLayerTexture(host, layer);
  state.layers.clear();
  state.wounds.clear();
}

}  // namespace

PedBloodState& FindOrCreateBloodState(const BloodContext& ctx, HostPed* ped) {
  auto created = ctx.tables.bloodStates.try_emplace(ped);
  // Every new state counts against MaxBloodyPeds, whoever creates it.
  if (created.second) {
    created.first->second.serial = ++ctx.tables.statesMade;
    EvictLeastRecentlyHit(ctx, ped);
  }
  return created.first->second;
}

PedBloodState* FindBloodState(BloodTables& tables, HostPed* ped) {
  auto& table = tables.bloodStates;
  auto found = table.find(ped);
  return found == table.end() ? nullptr : &found->second;
}

void UpdateBloodFrame(const WoundContext& ctx) {
  HostGame& host = ctx.host;
  BloodTables& state = ctx.tables;
  const float now = ctx.now;
  const int32_t slots = host.PedPoolSlotCount();
  for (int32_t i = 0; i < slots; ++i) {
    HostPed* ped = host.PedPoolSlot(i);
    if (!ped) continue;
    if (host.PedHealth(ped) <= 0.0f) {
      state.corpseDeathTimes.emplace(ped, now);
    } else {
      state.corpseDeathTimes.erase(ped);
    }
  }
  RefreshBloodStates(ctx);
  HostPed* player = host.FindPlayerPed();
  const bool playerDead = player && host.PedHealth(player) <= 0.0f;
  if (state.playerWasDead && !playerDead && player) RemovePedBlood(ctx, player);
  state.playerWasDead = playerDead;
}

namespace {

// Texel evaluations one millisecond of PaintBudget buys: what a 2.1 GHz core paints through
// footprints in a crowd. A fixed rate rather than the clock, so that the same fight paints
// the same blood on every machine and every run.
constexpr double kTexelsPerMillisecond = 23000.0;
// What a painting costs beyond its texels (the wound's pose and stamps, its layers and
// triangles), and a ped's snapshot per vertex skinned, in texel evaluations at that rate.
constexpr double kWorkPerPainting = 250.0;
constexpr double kSnapshotVerticesPerEvaluation = 8.0;
// A painting lists at least this much work before the budget may cut it short, so
// that a split does not crumble into steps that cost more than they list.
constexpr size_t kLeastListing = 4096;

// What is left of a frame's budget, in texel evaluations. A wound's painting is estimated
// before it runs and charged what it took, the ped's snapshot with its first; the first
// painting of the frame always runs, so every ped gets its turn however much one takes.
struct PaintAllowance {
  double limit;
  double spent = 0.0;
  double snapshot = 0.0;  // not charged yet
  bool first = true;

  bool Fits(uint32_t work) const {
    return first || spent + snapshot + kWorkPerPainting + static_cast<double>(work) <= limit;
  }
  // The evaluations left once a painting's own costs are paid.
  size_t Left() const {
    return static_cast<size_t>(std::max(0.0, limit - spent - snapshot - kWorkPerPainting));
  }
  void Spend(const Wound& wound) {
    first = false;
    spent += snapshot + kWorkPerPainting + static_cast<double>(wound.work);
    snapshot = 0.0;
  }
};

double SnapshotWork(const PosedMeshSnapshot& snapshot) {
  size_t vertices = 0;
  for (const auto& positions : snapshot.positions) vertices += positions.size();
  return static_cast<double>(vertices) / kSnapshotVerticesPerEvaluation;
}

// Repaints one due ped's flowing wounds at their age and drops the finished ones: those
// painted at FlowTime and those whose mesh left the ped. Within an allowance the repaint
// stops before a wound that does not fit and goes on there at the ped's next turn; false
// then, true when it is done.
bool RefreshPed(const WoundContext& ctx, HostPed* ped, PedBloodState& state,
                PaintAllowance* allowance) {
  const float now = ctx.now;
  const float flowTime = ctx.config.FlowTime;
  PosedMeshSnapshot snapshot;
  if (!TakePosedMeshSnapshot(ctx, ped, snapshot)) {
    state.nextRefreshTime = now + kRefreshInterval;
    state.refreshCursor = 0;
    return true;
  }
  if (allowance) allowance->snapshot = SnapshotWork(snapshot);
  SnapshotBounds bounds;
  const uint32_t poseVersion = NotePose(ctx, state, snapshot);
  for (size_t i = state.refreshCursor; i < state.wounds.size(); ++i) {
    Wound& wound = state.wounds[i];
    const float age = std::min(flowTime, now - wound.time);
    if (allowance && !allowance->Fits(PaintingWork(ctx.config, wound, age, poseVersion))) {
      state.refreshCursor = i;
      return false;
    }
    const size_t left = allowance ? std::max(allowance->Left(), kLeastListing) : SIZE_MAX;
    PaintFlowingWound(ctx, state.layers, wound, snapshot, age, poseVersion, &bounds, left);
    if (!allowance) continue;
    allowance->Spend(wound);
    // A painting cut short goes on first at the ped's next turn.
    if (PaintingCutShort(wound)) {
      state.refreshCursor = i;
      return false;
    }
  }
  state.refreshCursor = 0;
  state.nextRefreshTime = now + kRefreshInterval;
  auto finished = [&](const Wound& wound) {
    return wound.paintedAge >= flowTime || std::find(snapshot.meshes.begin(), snapshot.meshes.end(),
                                                     wound.mesh) == snapshot.meshes.end();
  };
  state.wounds.erase(std::remove_if(state.wounds.begin(), state.wounds.end(), finished),
                     state.wounds.end());
  return true;
}

bool Due(const PedBloodState& state, float now) {
  return !state.wounds.empty() && !(state.nextRefreshTime > now);
}

// Due peds, those waiting longest first, wound by wound, until the budget is spent.
void RefreshWithinBudget(const WoundContext& ctx, float budgetMs) {
  const float now = ctx.now;
  // Ties go by the states' age, not by the table's order, which follows addresses.
  std::vector<std::tuple<float, uint64_t, HostPed*>> due;
  for (auto& entry : ctx.tables.bloodStates) {
    const PedBloodState& state = entry.second;
    if (Due(state, now)) due.push_back({state.nextRefreshTime, state.serial, entry.first});
  }
  std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
    return std::get<0>(a) < std::get<0>(b) ||
           (std::get<0>(a) == std::get<0>(b) && std::get<1>(a) < std::get<1>(b));
  });
  PaintAllowance allowance{static_cast<double>(budgetMs) * kTexelsPerMillisecond};
  for (const auto& entry : due) {
    HostPed* ped = std::get<2>(entry);
    if (!RefreshPed(ctx, ped, ctx.tables.bloodStates.at(ped), &allowance)) {
      break;
    }
  }
}

}  // namespace

void RefreshBloodStates(const WoundContext& ctx) {
  const float now = ctx.now;
  const float budget = ctx.config.PaintBudget;
  if (!(budget > 0.0f)) {
    for (auto& entry : ctx.tables.bloodStates) {
      if (Due(entry.second, now)) {
        RefreshPed(ctx, entry.first, entry.second, nullptr);
      }
    }
  } else {
    RefreshWithinBudget(ctx, budget);
  }
  // Growing wounds may have made layers.
  EnforceBloodMemory(ctx, nullptr);
}

float ComputeBleed(const BloodContext& ctx, HostPed* ped, float loss) {
  const float a = Decay(loss);
  if (ctx.host.PedHealth(ped) > 0.0f) return a;
  float dt = 0.0f;
  const auto& deaths = ctx.tables.corpseDeathTimes;
  auto found = deaths.find(ped);
  if (found != deaths.end()) dt = ctx.now - found->second;
  const float t = dt / std::max(0.001f, ctx.config.CorpseBleedTime);
  return a * Decay(t);
}

void AddBloodLoss(const BloodConfig& config, PedBloodState& state, float increment) {
  const float before = state.bloodLoss;
  state.bloodLoss += increment;
  const uint64_t scale = LossScale(config);
  if (scale == 0) return;
  // Both terms are at most 2^62: no wrap.
  state.lossUnits = std::min(scale, state.lossUnits + LossUnits(config, increment, scale));
  if (state.lossUnits >= scale) {
    state.bloodLoss = std::max(state.bloodLoss, 1.0f);
  } else if (state.bloodLoss >= 1.0f && before < 1.0f) {
    // Rounded up to 1 short of the count: kept just below, so the loss still only grows.
    state.bloodLoss = std::nextafter(1.0f, 0.0f);
  }
}

void RemovePedBlood(const BloodContext& ctx, HostPed* ped) {
  auto& table = ctx.tables.bloodStates;
  auto found = table.find(ped);
  if (found == table.end()) return;
  ReleaseLayers(ctx.host, found->second);
  table.erase(found);
}

HostPed* LeastRecentlyHitPed(const BloodContext& ctx, HostPed* woundedPed, bool spareFreshHits) {
  HostPed* player = ctx.host.FindPlayerPed();
  const uint32_t clock = ctx.host.ClockMs();
  HostPed* chosen = nullptr;
  uint32_t oldest = 0;
  for (const auto& entry : ctx.tables.bloodStates) {
    if (entry.first == player || entry.first == woundedPed) continue;
    // Unsigned: the distance back from the clock, also across its wrap.
    const bool fresh =
        entry.second.woundCounter > 0 && clock - entry.second.lastHitClock < kFreshHitMs;
    if (spareFreshHits && fresh) continue;
    if (!chosen || entry.second.lastHitClock < oldest) {
      chosen = entry.first;
      oldest = entry.second.lastHitClock;
    }
  }
  return chosen;
}

namespace {

HostPed* ChooseForMemory(const BloodContext& ctx, HostPed* woundedPed) {
  return LeastRecentlyHitPed(ctx, woundedPed, true);
}

}  // namespace

void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed) {
  EnforceBloodMemory(ctx, woundedPed, PedEviction{ChooseForMemory, RemovePedBlood});
}

void EvictLeastRecentlyHit(const BloodContext& ctx, HostPed* woundedPed) {
  const auto& table = ctx.tables.bloodStates;
  if (static_cast<int64_t>(table.size()) <= static_cast<int64_t>(ctx.config.MaxBloodyPeds)) return;
  if (HostPed* chosen = LeastRecentlyHitPed(ctx, woundedPed, false)) RemovePedBlood(ctx, chosen);
}

void ResetAllBlood(const BloodContext& ctx) {
  BloodTables& state = ctx.tables;
  for (auto& entry : state.bloodStates) ReleaseLayers(ctx.host, entry.second);
  state.bloodStates.clear();
  state.corpseDeathTimes.clear();
  // The next level may never show these models again.
  ReleaseAllBloodGeometry(ctx);
}
