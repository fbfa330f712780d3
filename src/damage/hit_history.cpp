// Placeholder until the hit history lands.
#include "damage/hit_history.h"
#include "core/system_state.h"
HitRecord* FindHitRecord(HostPed*) { return nullptr; }
HitRecord& FindOrCreateHitRecord(HostPed* ped) { return State().hitHistory[ped]; }
void EraseHitRecord(HostPed*) {}
