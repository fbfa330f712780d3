// Every key of Vermiltrace.ini, once. BloodConfig's fields, the reader, the preview's
// keys and the tests' checks of the shipped file all come from this list.
#pragma once

#include <cstdint>

// Upper limits of the wound radii and of DripLength, metres.
constexpr float kMaxWoundRadius = 0.1f;
constexpr float kMaxDripLength = 1.0f;
// Upper limit of PaintBudget, milliseconds: a whole frame at 60 fps.
constexpr float kMaxPaintBudget = 16.0f;
// Limits of a BloodMemory that is not 0, MiB: below the smallest a crowd at the smallest
// MaskSize needs, above what a 32-bit process can hold.
constexpr float kMinBloodMemory = 16.0f;
constexpr float kMaxBloodMemory = 1536.0f;
// Upper limit of SeamMargin, texels.
constexpr int32_t kMaxSeamMargin = 8;

// How a key's value is read.
enum class SettingType {
  Integer,  // GetPrivateProfileIntA's number (0 for text); an empty value keeps the default
  Number,   // strtod of the text (0 for text); an empty value keeps the default
  Colour,   // red,green,blue; reading stops at the first part that does not convert
  NameList  // names at commas, spaces removed, lower-cased; empty when absent
};

// What the reader does with a value once read.
enum class SettingLimit {
  None,         // kept as read
  Clamp,        // low ... high; a number or colour part that is not finite keeps its default
  AtLeast,      // at least low; a number that is not a number (NaN) takes low
  OffOrWithin,  // Clamp to 0 ... high, then a value above 0 at least low
  AtMostNotBelowDripsMin  // at most high, but never below DripsMin (read before it)
};

// VT_SETTINGS(X) calls X(section, name, type, limit, low, high, default) for each key, in
// the shipped file's order, which is the reader's (DripsMax's limit needs DripsMin read).
// low and high mean nothing for the limit None.
// clang-format off
#define VT_SETTINGS(X)                                                                       \
  /* mask height in texels, width twice that */                                            \
  X(Blood, MaskSize, Integer, Clamp, 64, 1024, 256)                                        \
  /* texels blood reaches past UV island edges */                                          \
  X(Blood, SeamMargin, Integer, Clamp, 0, kMaxSeamMargin, 0)                               \
  /* peds that keep blood state before eviction */                                         \
  X(Blood, MaxBloodyPeds, Integer, AtLeast, 1, 0, 32)                                      \
  /* 0: no log file */                                                                     \
  X(Blood, Log, Integer, None, 0, 0, 1)                                                    \
  /* wound radii, metres: larger ones cost seconds of the game thread per shot */          \
  X(Blood, WoundRadius, Number, Clamp, 0.0f, kMaxWoundRadius, 0.035f)                      \
  X(Blood, ShotgunWoundRadius, Number, Clamp, 0.0f, kMaxWoundRadius, 0.022f)               \
  X(Blood, RifleWoundRadius, Number, Clamp, 0.0f, kMaxWoundRadius, 0.045f)                 \
  /* 1: bullets that go through leave an exit wound */                                     \
  X(Blood, ExitWounds, Integer, Clamp, 0, 1, 0)                                            \
  /* base drip length, metres */                                                           \
  X(Blood, DripLength, Number, Clamp, 0.0f, kMaxDripLength, 0.22f)                         \
  /* 0: no drips at all */                                                                 \
  X(Blood, Drips, Integer, None, 0, 0, 0)                                                  \
  /* fewest and most drips per wound */                                                    \
  X(Blood, DripsMin, Integer, None, 0, 0, 1)                                               \
  X(Blood, DripsMax, Integer, AtMostNotBelowDripsMin, 0, 6, 4)                             \
  /* read and kept; nothing depends on it */                                               \
  X(Blood, DepthOffset, Number, None, 0, 0, 0.004f)                                        \
  /* seconds a wound keeps flowing */                                                      \
  X(Blood, FlowTime, Number, AtLeast, 0.5f, 0, 8.0f)                                       \
  /* seconds until blood shows the dried colour */                                         \
  X(Blood, DryTime, Number, AtLeast, 1.0f, 0, 180.0f)                                      \
  /* seconds a corpse still bleeds */                                                      \
  X(Blood, CorpseBleedTime, Number, AtLeast, 0.0f, 0, 50.0f)                               \
  /* bullet wounds, explosions and falls that bleed a ped out */                           \
  X(Blood, MaxBulletWounds, Integer, AtLeast, 1, 0, 20)                                    \
  X(Blood, MaxExplosionWounds, Integer, AtLeast, 1, 0, 4)                                  \
  X(Blood, MaxFallWounds, Integer, AtLeast, 1, 0, 4)                                       \
  /* least fall damage factor that wounds */                                               \
  X(Blood, FallMinDamage, Number, None, 0, 0, 8.0f)                                        \
  /* milliseconds of repainting per frame at most (0: no limit) */                         \
  X(Blood, PaintBudget, Number, Clamp, 0.0f, kMaxPaintBudget, 0.0f)                        \
  /* 1: flowing wounds follow the pose; 0: keep their first */                             \
  X(Blood, FollowPose, Integer, Clamp, 0, 1, 1)                                            \
  /* MiB of masks, textures and model copies (0: no limit); a budget too small for one  */ \
  /* ped's masks would evict every ped but the one just hit */                             \
  X(Blood, BloodMemory, Number, OffOrWithin, kMinBloodMemory, kMaxBloodMemory, 0.0f)       \
  /* fresh and dried blood, red green blue */                                              \
  X(Blood, BloodColor, Colour, Clamp, 0.0f, 1.0f, {0.13f, 0.008f, 0.008f})                 \
  X(Blood, DriedColor, Colour, Clamp, 0.0f, 1.0f, {0.05f, 0.014f, 0.009f})                 \
  /* 1: each ped model's textures logged once */                                           \
  X(Blood, LogTextureNames, Integer, None, 0, 0, 0)                                        \
  /* 0: the game removes the heads of peds killed by a headshot */                         \
  X(Blood, KeepHeadOnHeadshot, Integer, None, 0, 0, 1)                                     \
  /* texture names treated as skin and as clothes */                                       \
  X(Overrides, SkinTextures, NameList, None, 0, 0, {})                                     \
  X(Overrides, ClothTextures, NameList, None, 0, 0, {})
// clang-format on

// One key of the list, for code that goes through the keys at run time.
struct Setting {
  const char* section;
  const char* name;
  SettingType type;
  SettingLimit limit;
  double low;
  double high;
};

#define VT_SETTING_RECORD(section, name, type, limit, low, high, ...) \
  Setting{#section, #name, SettingType::type, SettingLimit::limit, low, high},
inline constexpr Setting kSettings[] = {VT_SETTINGS(VT_SETTING_RECORD)};
#undef VT_SETTING_RECORD
