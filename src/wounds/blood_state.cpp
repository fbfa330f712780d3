// Placeholder until the blood state lands.
#include "wounds/blood_state.h"
#include "core/system_state.h"
void UpdateBloodFrame() {}
void RefreshBloodStates() {}
float ComputeBleed(HostPed*, float) { return 0.0f; }
void RemovePedBlood(HostPed*) {}
void EvictLeastRecentlyHit(HostPed*) {}
void OnPedRemoved(HostPed*) {}
void ResetAllBlood() {}
PedBloodState& FindOrCreateBloodState(HostPed* ped) { return State().bloodStates[ped]; }
PedBloodState* FindBloodState(HostPed*) { return nullptr; }
