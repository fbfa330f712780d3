#include "damage/wound_profile.h"

#include "core/system_state.h"

bool IsBulletWeapon(int32_t code) { return (code >= 22 && code <= 34) || code == 38 || code == 52; }

bool IsShotgunWeapon(int32_t code) { return code >= 25 && code <= 27; }

bool IsRifleWeapon(int32_t code) {
  return code == 30 || code == 31 || code == 33 || code == 34 || code == 38;
}

bool IsExplosiveWeapon(int32_t code) {
  switch (code) {
    case 16:
    case 19:
    case 20:
    case 21:
    case 35:
    case 36:
    case 39:
    case 40:
    case 51:
      return true;
    default:
      return false;
  }
}

bool IsChanceRollWeapon(int32_t code) {
  return (code >= 0 && code <= 3) || (code >= 5 && code <= 7) || (code >= 10 && code <= 15);
}

WoundProfile GetWoundProfile(int32_t code, int32_t piece) {
  const BloodConfig& config = Config();
  const bool head = piece == kHeadPiece;
  const float h = head ? 1.4f : 1.0f;
  // Rows in the order they are tried; the first match wins.
  switch (code) {
    case 0:
    case 1:
      return head ? WoundProfile{0.012f, 0.0f, 0.5f, 0, 2} : WoundProfile{0, 0, 0, 0, 0};
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 15:
      return head ? WoundProfile{0.025f, 0.0f, 1.0f, 1, 3} : WoundProfile{0.012f, 0.0f, 0.4f, 0, 1};
    case 4:
      return {0.01f, 0.045f, 1.0f, 2, 5};
    case 8:
      return {0.013f, 0.1f, 1.2f, 3, 6};
    case 9:
      return {0.05f, 0.09f, 1.6f, 4, 6};
    case 49:
    case 50:
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
