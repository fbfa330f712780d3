#include "damage/hit_history.h"

#include "core/system_state.h"

HitRecord* FindHitRecord(HostPed* ped) {
  auto& table = State().hitHistory;
  auto found = table.find(ped);
  return found == table.end() ? nullptr : &found->second;
}

HitRecord& FindOrCreateHitRecord(HostPed* ped) {
  return State().hitHistory.try_emplace(ped, HitRecord{0, 0, 0}).first->second;
}

void EraseHitRecord(HostPed* ped) { State().hitHistory.erase(ped); }
