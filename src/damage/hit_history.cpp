#include "damage/hit_history.h"

HitRecord* FindHitRecord(BloodTables& tables, HostPed* ped) {
  auto found = tables.hitHistory.find(ped);
  return found == tables.hitHistory.end() ? nullptr : &found->second;
}

HitRecord& FindOrCreateHitRecord(BloodTables& tables, HostPed* ped) {
  return tables.hitHistory.try_emplace(ped, HitRecord{0, 0, 0}).first->second;
}

void EraseHitRecord(BloodTables& tables, HostPed* ped) { tables.hitHistory.erase(ped); }
