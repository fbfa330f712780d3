// hitHistory: the last accepted damage event of each ped.
#pragma once

#include <cstdint>

#include "host/host_types.h"

struct HitRecord {
  uint32_t clock;  // host milliseconds
  int32_t weapon;
  int32_t piece;
};

HitRecord* FindHitRecord(HostPed* ped);       // no insertion
HitRecord& FindOrCreateHitRecord(HostPed* ped);  // inserts a zero record
void EraseHitRecord(HostPed* ped);
