#include "damage/wound_profile.h"

#include "host/game_facts.h"

using namespace game::weapon;

bool IsBulletWeapon(int32_t code) {
  return (code >= kPistol && code <= kSniperRifle) || code == kMinigun || code == kDriveBy;
}

bool IsShotgunWeapon(int32_t code) { return code >= kShotgun && code <= kCombatShotgun; }

bool IsRifleWeapon(int32_t code) {
  return code == kAssaultRifle || code == kCarbine || code == kCountryRifle ||
         code == kSniperRifle || code == kMinigun;
}

bool IsPiercingWeapon(int32_t code) {
  return code == kDesertEagle || code == kAssaultRifle || code == kCarbine ||
         code == kCountryRifle || code == kSniperRifle;
}

bool IsExplosiveWeapon(int32_t code) {
  switch (code) {
    case kGrenade:
    case kRocket:
    case kHeatSeekingRocket:
    case kFreefallBomb:
    case kRocketLauncher:
    case kHeatSeekingLauncher:
    case kSatchelCharge:
    case kDetonator:
    case kExplosion:
      return true;
    default:
      return false;
  }
}

bool IsChanceRollWeapon(int32_t code) {
  return (code >= kUnarmed && code <= kNightstick) || (code >= kBat && code <= kPoolCue) ||
         (code >= kFirstGift && code <= kCane);
}

WoundProfile GetWoundProfile(const BloodConfig& config, int32_t code, int32_t piece) {
  const bool head = piece == game::piece::kHead;
  const float h = head ? 1.4f : 1.0f;
  // Rows in the order they are tried; the first match wins.
  switch (code) {
    case kUnarmed:
    case kBrassKnuckles:
      return head ? WoundProfile{0.012f, 0.0f, 0.5f, 0, 2} : WoundProfile{0, 0, 0, 0, 0};
    case kGolfClub:
    case kNightstick:
    case kBat:
    case kShovel:
    case kPoolCue:
    case kCane:
      return head ? WoundProfile{0.025f, 0.0f, 1.0f, 1, 3} : WoundProfile{0.012f, 0.0f, 0.4f, 0, 1};
    case kKnife:
      return {0.01f, 0.045f, 1.0f, 2, 5};
    case kKatana:
      return {0.013f, 0.1f, 1.2f, 3, 6};
    case kChainsaw:
      return {0.05f, 0.09f, 1.6f, 4, 6};
    case kRammedByCar:
    case kRunOverByCar:
      return {0.02f, 0.03f, 0.5f, 0, 2};
    default:
      break;
  }
  if (IsShotgunWeapon(code)) return {config.ShotgunWoundRadius, 0.0f, 0.6f, 0, 2};
  if (IsRifleWeapon(code)) {
    return {h * config.RifleWoundRadius, 0.0f, 1.0f, config.DripsMin, config.DripsMax};
  }
  if (IsBulletWeapon(code))
    return {h * config.WoundRadius, 0.0f, 1.0f, config.DripsMin, config.DripsMax};
  if (IsExplosiveWeapon(code)) return {0.025f, 0.0f, 0.7f, 0, 2};
  return {0, 0, 0, 0, 0};
}
