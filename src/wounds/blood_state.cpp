#include "wounds/blood_state.h"

#include <algorithm>
#include <cmath>

#include "core/float_math.h"
#include "core/system_state.h"
#include "damage/hit_history.h"
#include "render/wound_stamp.h"
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

void ReleaseLayers(PedBloodState& state) {
  HostGame& host = Host();
  for (MaskLayer& layer : state.layers) {
    if (layer.texture) host.ReleaseTexture(layer.texture);
    layer.texture = nullptr;
  }
  state.layers.clear();
  state.wounds.clear();
}

}  // namespace

PedBloodState& FindOrCreateBloodState(HostPed* ped) { return State().bloodStates[ped]; }

PedBloodState* FindBloodState(HostPed* ped) {
  auto& table = State().bloodStates;
  auto found = table.find(ped);
  return found == table.end() ? nullptr : &found->second;
}

void UpdateBloodFrame() {
  HostGame& host = Host();
  SystemState& state = State();
  const float now = NowSeconds();
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
  RefreshBloodStates();
  HostPed* player = host.FindPlayerPed();
  const bool playerDead = player && host.PedHealth(player) <= 0.0f;
  if (state.playerWasDead && !playerDead && player) RemovePedBlood(player);
  state.playerWasDead = playerDead;
}

void RefreshBloodStates() {
  const float now = NowSeconds();
  const float flowTime = Config().FlowTime;
  for (auto& entry : State().bloodStates) {
    PedBloodState& state = entry.second;
    if (state.wounds.empty() || state.nextRefreshTime > now) continue;
    state.nextRefreshTime = now + kRefreshInterval;
    PosedMeshSnapshot snapshot;
    if (!TakePosedMeshSnapshot(entry.first, snapshot)) continue;
    for (const Wound& wound : state.wounds) {
      PaintWound(state.layers, wound, snapshot, std::min(flowTime, now - wound.time));
    }
    auto finished = [&](const Wound& wound) {
      return now - wound.time >= flowTime ||
             std::find(snapshot.meshes.begin(), snapshot.meshes.end(), wound.mesh) ==
                 snapshot.meshes.end();
    };
    state.wounds.erase(std::remove_if(state.wounds.begin(), state.wounds.end(), finished),
                       state.wounds.end());
  }
}

float ComputeBleed(HostPed* ped, float loss) {
  const float a = Decay(loss);
  if (Host().PedHealth(ped) > 0.0f) return a;
  float dt = 0.0f;
  const auto& deaths = State().corpseDeathTimes;
  auto found = deaths.find(ped);
  if (found != deaths.end()) dt = NowSeconds() - found->second;
  const float t = dt / std::max(0.001f, Config().CorpseBleedTime);
  return a * Decay(t);
}

void RemovePedBlood(HostPed* ped) {
  auto& table = State().bloodStates;
  auto found = table.find(ped);
  if (found == table.end()) return;
  ReleaseLayers(found->second);
  table.erase(found);
}

void EvictLeastRecentlyHit(HostPed* woundedPed) {
  auto& table = State().bloodStates;
  if (static_cast<int64_t>(table.size()) <= static_cast<int64_t>(Config().MaxBloodyPeds)) return;
  HostPed* player = Host().FindPlayerPed();
  HostPed* chosen = nullptr;
  uint32_t oldest = 0;
  for (const auto& entry : table) {
    if (entry.first == player || entry.first == woundedPed) continue;
    if (!chosen || entry.second.lastHitClock < oldest) {
      chosen = entry.first;
      oldest = entry.second.lastHitClock;
    }
  }
  if (chosen) RemovePedBlood(chosen);
}

void OnPedRemoved(HostPed* ped) {
  RemovePedBlood(ped);
  EraseHitRecord(ped);
  State().corpseDeathTimes.erase(ped);
}

void ResetAllBlood() {
  SystemState& state = State();
  for (auto& entry : state.bloodStates) ReleaseLayers(entry.second);
  state.bloodStates.clear();
  state.corpseDeathTimes.clear();
}
