// Numbers the game itself defines: its builds, entity types, body pieces, bone numbers and
// weapon codes, named once for every part of the system that uses them.
#pragma once

#include <cstdint>

namespace game {

// The two builds of GTA San Andreas 1.0 US the system runs on, as version detection
// reports them (the original executable and the downgraded one).
constexpr int kVersionOriginal = 1001;
constexpr int kVersionDowngraded = 1002;
constexpr bool IsSupportedVersion(int version) {
  return version == kVersionOriginal || version == kVersionDowngraded;
}

// Entity type (low three bits of the entity's type byte) of a ped.
constexpr uint8_t kPedEntity = 3;

// Body pieces a damage event reports.
namespace piece {
constexpr int32_t kTorso = 3;
constexpr int32_t kPelvis = 4;
constexpr int32_t kLeftArm = 5;
constexpr int32_t kRightArm = 6;
constexpr int32_t kLeftLeg = 7;
constexpr int32_t kRightLeg = 8;
constexpr int32_t kHead = 9;
}  // namespace piece

// Bone numbers of the ped skeleton.
namespace bone {
constexpr int32_t kPelvis = 1;
constexpr int32_t kSpine = 2;
constexpr int32_t kUpperTorso = 3;
constexpr int32_t kNeck = 4;
constexpr int32_t kHead = 5;
constexpr int32_t kRightClavicle = 21;
constexpr int32_t kRightUpperArm = 22;
constexpr int32_t kRightForearm = 23;
constexpr int32_t kRightHand = 24;
constexpr int32_t kLeftClavicle = 31;
constexpr int32_t kLeftUpperArm = 32;
constexpr int32_t kLeftForearm = 33;
constexpr int32_t kLeftHand = 34;
constexpr int32_t kLeftThigh = 41;
constexpr int32_t kLeftCalf = 42;
constexpr int32_t kLeftFoot = 43;
constexpr int32_t kRightThigh = 51;
constexpr int32_t kRightCalf = 52;
constexpr int32_t kRightFoot = 53;
}  // namespace bone

// Weapon codes of damage events, including the codes of damage that no weapon deals.
namespace weapon {
constexpr int32_t kUnarmed = 0;
constexpr int32_t kBrassKnuckles = 1;
constexpr int32_t kGolfClub = 2;
constexpr int32_t kNightstick = 3;
constexpr int32_t kKnife = 4;
constexpr int32_t kBat = 5;
constexpr int32_t kShovel = 6;
constexpr int32_t kPoolCue = 7;
constexpr int32_t kKatana = 8;
constexpr int32_t kChainsaw = 9;
constexpr int32_t kFirstGift = 10;  // dildos, vibrators, flowers
constexpr int32_t kCane = 15;
constexpr int32_t kGrenade = 16;
constexpr int32_t kRocket = 19;
constexpr int32_t kHeatSeekingRocket = 20;
constexpr int32_t kFreefallBomb = 21;
constexpr int32_t kPistol = 22;
constexpr int32_t kDesertEagle = 24;
constexpr int32_t kShotgun = 25;
constexpr int32_t kCombatShotgun = 27;
constexpr int32_t kAssaultRifle = 30;
constexpr int32_t kCarbine = 31;
constexpr int32_t kCountryRifle = 33;
constexpr int32_t kSniperRifle = 34;
constexpr int32_t kRocketLauncher = 35;
constexpr int32_t kHeatSeekingLauncher = 36;
constexpr int32_t kMinigun = 38;
constexpr int32_t kSatchelCharge = 39;
constexpr int32_t kDetonator = 40;
constexpr int32_t kRammedByCar = 49;
constexpr int32_t kRunOverByCar = 50;
constexpr int32_t kExplosion = 51;
constexpr int32_t kDriveBy = 52;
constexpr int32_t kFall = 54;
}  // namespace weapon

}  // namespace game
