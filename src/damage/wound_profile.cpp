// Placeholder until the weapon classes land.
#include "damage/wound_profile.h"
bool IsBulletWeapon(int32_t) { return false; }
bool IsShotgunWeapon(int32_t) { return false; }
bool IsRifleWeapon(int32_t) { return false; }
bool IsExplosiveWeapon(int32_t) { return false; }
bool IsChanceRollWeapon(int32_t) { return false; }
WoundProfile GetWoundProfile(int32_t, int32_t) { return {0, 0, 0, 0, 0}; }
