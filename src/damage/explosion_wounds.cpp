// Placeholder until explosion and fall wounds land.
#include "damage/explosion_wounds.h"
void HandleExplosionDamage(HostPed*, Vec3, const char*) {}
bool AddExplosionWound(HostPed*, int32_t, Vec3, const WoundProfile&, const char*, float, float) {
  return false;
}
void HandleFallDamage(HostPed*, const char*) {}
