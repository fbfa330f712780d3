// The memory the blood takes: every ped's masks and their textures, and the per-model
// caches (blood geometry copies with their coverages), and the BloodMemory budget that
// keeps it from growing without bound.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "host/host_types.h"

// Milliseconds after its latest hit during which a ped's blood is never evicted for
// memory: the frame of the hit and the next one.
constexpr uint32_t kFreshHitMs = 50;

// Bytes one ped holds: the tiles each layer's mask has made plus the layer's 32-bit
// texture, which a layer counts from its creation on, since the next render makes it, and
// the footprints of its flowing wounds.
uint64_t PedBloodBytes(const PedBloodState& state);

// Bytes of every ped's state, every cached geometry copy with its coverages and the
// retired copies.
uint64_t BloodMemoryBytes(const BloodTables& tables);

// How the budget drops a ped's blood. The per-ped state's rules (blood_state.h), taken as
// a parameter so that the budget depends on nothing above it.
struct PedEviction {
  // The ped whose blood goes next, never woundedPed; null when none may go.
  HostPed* (*choose)(const BloodContext& ctx, HostPed* woundedPed);
  void (*remove)(const BloodContext& ctx, HostPed* ped);
};

// Releases the retired geometry copies; then, with BloodMemory set (not 0) and the blood
// over it, until it fits: drops the least recently used cached geometry no ped references
// (through a layer or a flowing wound) and no draw used now, else the blood of the ped
// eviction.choose names. When nothing can go, the blood stays over the budget. Logs each
// ped eviction.
void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed, const PedEviction& eviction);
