// BloodConfig: every tunable of the system, read once from Vermiltrace.ini at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

struct BloodConfig {
  int32_t MaskSize = 256;             // mask height in texels, width twice that (64 ... 1024)
  int32_t SeamMargin = 0;             // texels blood reaches past UV island edges (0 ... 8)
  int32_t MaxBloodyPeds = 32;         // peds that keep blood state before eviction (>= 1)
  int32_t Log = 1;                    // 0: no log file
  float WoundRadius = 0.035f;         // ordinary bullet wound radius, metres (0 ... 0.1)
  float ShotgunWoundRadius = 0.022f;  // one shotgun pellet, metres (0 ... 0.1)
  float RifleWoundRadius = 0.045f;    // rifle bullets, metres (0 ... 0.1)
  int32_t ExitWounds = 0;             // 1: bullets that go through leave an exit wound (0 or 1)
  float DripLength = 0.22f;           // base drip length, metres (0 ... 1)
  int32_t Drips = 0;                  // 0: no drips at all
  int32_t DripsMin = 1;               // fewest drips per wound
  int32_t DripsMax = 4;               // most drips per wound (max(DripsMin, min(value, 6)))
  float DepthOffset = 0.004f;         // read and kept; nothing depends on it
  float FlowTime = 8.0f;              // seconds a wound keeps flowing (>= 0.5)
  float DryTime = 180.0f;             // seconds until blood shows the dried colour (>= 1)
  float CorpseBleedTime = 50.0f;      // seconds a corpse still bleeds (>= 0)
  int32_t MaxBulletWounds = 20;       // bullet wounds that bleed a living ped out (>= 1)
  int32_t MaxExplosionWounds = 4;     // explosions that bleed a ped out (>= 1)
  int32_t MaxFallWounds = 4;          // falls that bleed a ped out (>= 1)
  float FallMinDamage = 8.0f;         // least fall damage factor that wounds
  float PaintBudget = 0.0f;           // milliseconds of repainting per frame at most (0: no limit)
  int32_t FollowPose = 1;    // 1: flowing wounds follow the pose; 0: keep their first (0 or 1)
  float BloodMemory = 0.0f;  // MiB of masks, textures and model copies (0: no limit; 16 ... 1536)
  float BloodColor[3] = {0.13f, 0.008f, 0.008f};  // fresh blood, red green blue (0 ... 1)
  float DriedColor[3] = {0.05f, 0.014f, 0.009f};  // dried blood, red green blue (0 ... 1)
  int32_t LogTextureNames = 0;                    // 1: each ped model's textures logged once
  std::vector<std::string> SkinTextures;          // [Overrides], read and kept
  std::vector<std::string> ClothTextures;         // [Overrides], read and kept
};

// Fills config from the ini file at path, key by key, in the file's documented order.
// A missing file, section or key keeps the default.
void LoadConfig(BloodConfig& config, const char* path);

// Splits a name list: names at commas, every space removed, A-Z lower-cased, empty names
// dropped.
std::vector<std::string> SplitNameList(const char* text);
