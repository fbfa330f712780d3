// hitHistory: the last accepted damage event of each ped, kept until the host removes the
// ped (a game reset leaves it alone).
#pragma once

#include <cstdint>

#include "host/host_types.h"

struct HitRecord {
  uint32_t clock;  // host milliseconds
  int32_t weapon;
  int32_t piece;
};

// The ped's record, or null; never inserts.
HitRecord* FindHitRecord(HostPed* ped);
// The ped's record, inserting a zero record first when it has none. The reference stays
// valid until the record is erased.
HitRecord& FindOrCreateHitRecord(HostPed* ped);
// Drops the ped's record; no-op when it has none.
void EraseHitRecord(HostPed* ped);
