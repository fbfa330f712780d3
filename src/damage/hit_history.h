// The last accepted damage event of each ped, kept until the host removes the ped (a game
// reset leaves it alone).
#pragma once

#include <cstdint>

#include "core/address_table.h"
#include "host/host_types.h"

// The last accepted damage event of a ped.
struct HitRecord {
  uint32_t clock;  // host milliseconds
  int32_t weapon;
  int32_t piece;
};

struct HitHistory {
  HitHistory() { ShapeAddressTable(records); }
  AddressTable<HostPed, HitRecord> records;
};

// The ped's record, or null; never inserts.
HitRecord* FindHitRecord(HitHistory& history, HostPed* ped);
// The ped's record, inserting a zero record first when it has none. The reference stays
// valid until the record is erased.
HitRecord& FindOrCreateHitRecord(HitHistory& history, HostPed* ped);
// Drops the ped's record; no-op when it has none.
void EraseHitRecord(HitHistory& history, HostPed* ped);
