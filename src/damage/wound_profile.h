// Weapon classes and the WoundProfile of a weapon code and body piece.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "core/config.h"

// Membership of a host weapon code in each class; any 32-bit code, negative ones included.
bool IsBulletWeapon(int32_t code);      // 22 ... 34, 38, 52
bool IsShotgunWeapon(int32_t code);     // 25, 26, 27
bool IsRifleWeapon(int32_t code);       // 30, 31, 33, 34, 38
bool IsPiercingWeapon(int32_t code);    // 24, 30, 31, 33, 34: the bullet goes through a body
bool IsExplosiveWeapon(int32_t code);   // 16, 19, 20, 21, 35, 36, 39, 40, 51
bool IsChanceRollWeapon(int32_t code);  // 0, 1, 2, 3, 5, 6, 7, 10 ... 15: a roll before a wound

// The wound shape for a weapon code and body piece, from the configured radii and drip
// counts; a zero profile (radius 0) for codes that leave no wound.
WoundProfile GetWoundProfile(const BloodConfig& config, int32_t code, int32_t piece);
