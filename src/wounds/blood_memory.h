// The memory all blood masks and their textures take together, and the BloodMemory
// budget that keeps it from growing without bound.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "host/host_types.h"

// Bytes of every layer of every ped: the tiles its mask has made plus its 32-bit texture,
// which a layer counts from its creation on, since the next render makes it; and the
// footprints of the flowing wounds.
uint64_t BloodMemoryBytes(const BloodTables& tables);

// With BloodMemory set (not 0) and the layers over it, drops the states of the least
// recently hit peds (unsigned lastHitClock, first in table order on ties), never the
// player's or woundedPed's, until they fit or no other state is left. Logs each eviction.
void EnforceBloodMemory(const BloodContext& ctx, HostPed* woundedPed);
