// Placeholder until wound placement lands.
#include "wounds/wound_placement.h"
bool AddWound(HostPed*, Vec3, Vec3, Vec3, const WoundProfile&, const char*, bool, float, float) {
  return false;
}
