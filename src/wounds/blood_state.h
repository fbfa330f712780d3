// Per-ped blood state: the tables bloodStates and corpseDeathTimes, the flowing wounds,
// and the per-frame time rules that run over them.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_types.h"
#include "render/mask_layer.h"

constexpr int kMaxDrips = 6;
constexpr size_t kMaxFlowingWounds = 24;

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
  std::vector<Wound> wounds;      // flowing, oldest first
  uint32_t lastHitClock = 0;      // host milliseconds of the latest wound attempt that found the mesh
  float nextRefreshTime = 0.0f;   // seconds
  int32_t woundCounter = 0;
  float bloodLoss = 0.0f;         // 1.0: bled out
};

// Per-frame callback on the frame event: corpse bookkeeping, refresh, player respawn.
void UpdateBloodFrame();
// Repaints flowing wounds at most every 0.1 s per ped and drops finished ones.
void RefreshBloodStates();
// Bleed strength of a new wound on ped with the given blood loss, in [0, 1].
float ComputeBleed(HostPed* ped, float loss);
// Drops one ped's state, releasing its textures. No-op without state.
void RemovePedBlood(HostPed* ped);
// Evicts the least recently hit state beyond MaxBloodyPeds (never the player or woundedPed).
void EvictLeastRecentlyHit(HostPed* woundedPed);
// Ped-removal callback: blood state, hit history and corpse time of the ped.
void OnPedRemoved(HostPed* ped);
// Game-reset callback: releases every texture and empties both tables.
void ResetAllBlood();

// Find-or-create (zero-filled) and find.
PedBloodState& FindOrCreateBloodState(HostPed* ped);
PedBloodState* FindBloodState(HostPed* ped);
