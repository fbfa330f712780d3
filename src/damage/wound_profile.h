// Weapon classes and WoundProfile: the shape of a wound for a weapon code and body piece.
#pragma once

#include <cstdint>

struct WoundProfile {
  float radius;     // metres before AddWound's random scaling; <= 0: no wound
  float cut;        // metres
  float dripScale;  // factor on DripLength
  int32_t dripsMin;
  int32_t dripsMax;
};

bool IsBulletWeapon(int32_t code);     // 22 ... 34, 38, 52
bool IsShotgunWeapon(int32_t code);    // 25, 26, 27
bool IsRifleWeapon(int32_t code);      // 30, 31, 33, 34, 38
bool IsExplosiveWeapon(int32_t code);  // 16, 19, 20, 21, 35, 36, 39, 40, 51
bool IsChanceRollWeapon(int32_t code);  // 0, 1, 2, 3, 5, 6, 7, 10 ... 15
constexpr int32_t kFallWeapon = 54;

WoundProfile GetWoundProfile(int32_t code, int32_t piece);
