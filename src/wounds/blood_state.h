// Per-ped blood state: the tables bloodStates and corpseDeathTimes (in State()), the
// flowing wounds, and the per-frame time rules that run over them. Everything runs on the
// host's game thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_types.h"
#include "render/mask_layer.h"

constexpr int kMaxDrips = 6;
constexpr size_t kMaxFlowingWounds = 24;
// Seconds between two repaints of one ped's flowing wounds.
constexpr float kRefreshInterval = 0.1f;

// One flowing wound; written once by AddWound.
struct Wound {
  HostMesh* mesh;
  HostGeometry* geometry;  // the mesh's geometry when the wound was made
  int32_t triangle;
  float u, v;    // barycentrics of the centre on the triangle
  float time;    // seconds at creation
  float radius;  // metres
  float cut;
  float angle;  // radians in [0, 2 pi)
  float bleed;
  int32_t dripCount;  // 0 ... kMaxDrips
  float dripOffset[kMaxDrips];
  float dripLength[kMaxDrips];
  float dripWidth[kMaxDrips];
};

struct PedBloodState {
  std::vector<MaskLayer> layers;  // creation order
  std::vector<Wound> wounds;      // flowing, oldest first, at most kMaxFlowingWounds
  uint32_t lastHitClock = 0;  // host milliseconds of the latest wound attempt that found the mesh
  float nextRefreshTime = 0.0f;  // seconds
  int32_t woundCounter = 0;      // attempts that found the mesh, bled-out ones included
  float bloodLoss = 0.0f;        // 1.0: bled out
  uint64_t lossUnits = 0;        // bloodLoss counted exactly (see AddBloodLoss)
};

// Per-frame callback: records first-seen death times of the pool's peds (forgets revived
// ones), refreshes flowing wounds, and drops the player's blood once the player is alive
// again after dying.
void UpdateBloodFrame();

// Repaints the flowing wounds of every due ped (nextRefreshTime <= now) at their age,
// clamped to FlowTime, then drops wounds FlowTime old or whose mesh left the ped. A ped
// that cannot be snapshot keeps its wounds and is tried again kRefreshInterval later.
void RefreshBloodStates();

// Bleed strength of a new wound, in [0, 1] for loss >= 0: B(loss) with
// B(x) = (e^-3x - e^-3) / (1 - e^-3) below 1 and 0 from 1 on (and for NaN); a dead ped
// also fades by B(seconds since death / CorpseBleedTime).
float ComputeBleed(HostPed* ped, float loss);

// Adds increment to state.bloodLoss. The loss is also counted exactly, in whole units of
// every cap's share (1 / MaxBulletWounds, 1 / MaxExplosionWounds, 1 / MaxFallWounds; other
// increments to the nearest unit), and that count decides bleeding out: bloodLoss becomes
// at least 1 when the count reaches 1, and a sum rounded up to 1 before that stays just
// below 1. bloodLoss never decreases. Caps whose common multiple exceeds 2^62 leave the
// float sum alone.
void AddBloodLoss(PedBloodState& state, float increment);

// Drops one ped's state, releasing each layer's texture once. No-op without state.
void RemovePedBlood(HostPed* ped);

// With more than MaxBloodyPeds states, removes the one hit least recently (unsigned
// lastHitClock, first in table order on ties), never the player's or woundedPed's.
void EvictLeastRecentlyHit(HostPed* woundedPed);

// Ped-removal callback: the ped's blood state, hit record and corpse time.
void OnPedRemoved(HostPed* ped);

// Game-reset callback: releases every layer texture and empties bloodStates and
// corpseDeathTimes (the geometry cache, hit history and playerWasDead stay).
void ResetAllBlood();

// Find-or-create (a new state is zero-filled, then EvictLeastRecentlyHit(ped) runs) and
// find (null when absent). References stay valid until the state is removed.
PedBloodState& FindOrCreateBloodState(HostPed* ped);
PedBloodState* FindBloodState(HostPed* ped);
