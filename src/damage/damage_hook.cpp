// Placeholder until the damage hook lands.
#include "damage/damage_hook.h"
void HandlePedDamage(HostDamage*, HostEntity*) {}
bool AddBodyWound(HostPed*, int32_t, Vec3, const WoundProfile&, const char*) { return false; }
