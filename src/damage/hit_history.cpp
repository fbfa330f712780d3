#include "damage/hit_history.h"

HitRecord* FindHitRecord(HitHistory& history, HostPed* ped) {
  auto found = history.records.find(ped);
  return found == history.records.end() ? nullptr : &found->second;
}

HitRecord& FindOrCreateHitRecord(HitHistory& history, HostPed* ped) {
  return history.records.try_emplace(ped, HitRecord{0, 0, 0}).first->second;
}

void EraseHitRecord(HitHistory& history, HostPed* ped) { history.records.erase(ped); }
