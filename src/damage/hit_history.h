// hitHistory: the last accepted damage event of each ped, kept until the host removes the
// ped (a game reset leaves it alone).
#pragma once

#include "blood/blood_records.h"
#include "host/host_types.h"

// The ped's record, or null; never inserts.
HitRecord* FindHitRecord(BloodTables& tables, HostPed* ped);
// The ped's record, inserting a zero record first when it has none. The reference stays
// valid until the record is erased.
HitRecord& FindOrCreateHitRecord(BloodTables& tables, HostPed* ped);
// Drops the ped's record; no-op when it has none.
void EraseHitRecord(BloodTables& tables, HostPed* ped);
