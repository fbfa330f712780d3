#include "core/config.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/platform.h"

namespace {

constexpr const char* kSection = "Blood";
constexpr size_t kNumberBuffer = 64;
constexpr size_t kNameListBuffer = 2048;

void ReadInteger(int32_t& field, const char* key, const char* path) {
  field = platform::ProfileInt(kSection, key, field, path);
}

// An empty value keeps the default; text that does not convert reads as 0.0.
void ReadNumber(float& field, const char* key, const char* path) {
  char text[kNumberBuffer] = {};
  platform::ProfileString(kSection, key, "", text, sizeof(text), path);
  if (text[0] != '\0') field = static_cast<float>(std::strtod(text, nullptr));
}

// Scanning stops at the first component that does not convert; the rest keep defaults. A
// component that is not a finite number keeps its default too; the others end in 0 ... 1.
void ReadColour(float (&colour)[3], const char* key, const char* path) {
  char text[kNumberBuffer] = {};
  platform::ProfileString(kSection, key, "", text, sizeof(text), path);
  if (text[0] == '\0') return;
  float read[3] = {colour[0], colour[1], colour[2]};
  std::sscanf(text, "%f,%f,%f", &read[0], &read[1], &read[2]);
  for (int i = 0; i < 3; ++i) {
    if (std::isfinite(read[i])) colour[i] = std::clamp(read[i], 0.0f, 1.0f);
  }
}

// A name as written between two commas, without the spaces around it.
std::string TrimSpaces(const std::string& written) {
  const size_t first = written.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return written.substr(first, written.find_last_not_of(' ') + 1 - first);
}

// Why a name can never equal a texture's name; null when it can.
const char* UnmatchableReason(const std::string& name) {
  if (name.empty()) return nullptr;
  if (name.find(' ') != std::string::npos) return "spaces inside a name are removed";
  if (name.find('"') != std::string::npos || name.front() == '\'' || name.back() == '\'') {
    return "quotes stay part of the name";
  }
  return nullptr;
}

// The settings are read before the log opens: what a player should know about a list is
// held for the log (one line for a cut value, one for the first name that cannot match).
void NoteNameList(const char* key, const std::string& text, bool cut) {
  if (cut) {
    HoldLogLine("%s: longer than %zu characters, everything after them is ignored", key,
                kNameListBuffer - 1);
  }
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string name = TrimSpaces(text.substr(start, comma - start));
    if (const char* reason = UnmatchableReason(name)) {
      HoldLogLine("%s: \"%s\" can never match a texture (%s)", key, name.c_str(), reason);
      return;
    }
    if (comma == std::string::npos) return;
    start = comma + 1;
  }
}

void ReadNameList(std::vector<std::string>& list, const char* key, const char* path) {
  // One character more than the list keeps tells a value that was cut.
  char text[kNameListBuffer + 1] = {};
  platform::ProfileString("Overrides", key, "", text, sizeof(text), path);
  const bool cut = std::strlen(text) >= kNameListBuffer;
  text[kNameListBuffer - 1] = '\0';
  list = SplitNameList(text);
  NoteNameList(key, text, cut);
}

// NaN fails the comparison on purpose, so a value that is not a number takes the limit.
float AtLeast(float value, float limit) { return value >= limit ? value : limit; }

// Clamped to 0 ... most; a value that is not finite keeps the default.
void ReadBounded(float& field, const char* key, float most, const char* path) {
  const float fallback = field;
  ReadNumber(field, key, path);
  field = std::isfinite(field) ? std::clamp(field, 0.0f, most) : fallback;
}

}  // namespace

void LoadConfig(BloodConfig& config, const char* path) {
  ReadInteger(config.MaskSize, "MaskSize", path);
  config.MaskSize = std::clamp(config.MaskSize, 64, 1024);
  ReadInteger(config.SeamMargin, "SeamMargin", path);
  config.SeamMargin = std::clamp(config.SeamMargin, 0, kMaxSeamMargin);
  ReadInteger(config.MaxBloodyPeds, "MaxBloodyPeds", path);
  config.MaxBloodyPeds = std::max(config.MaxBloodyPeds, 1);
  ReadInteger(config.Log, "Log", path);
  // Larger wounds and drips cost seconds of the game thread per shot and no real wound
  // leaves them.
  ReadBounded(config.WoundRadius, "WoundRadius", kMaxWoundRadius, path);
  ReadBounded(config.ShotgunWoundRadius, "ShotgunWoundRadius", kMaxWoundRadius, path);
  ReadBounded(config.RifleWoundRadius, "RifleWoundRadius", kMaxWoundRadius, path);
  ReadInteger(config.ExitWounds, "ExitWounds", path);
  config.ExitWounds = std::clamp(config.ExitWounds, 0, 1);
  ReadBounded(config.DripLength, "DripLength", kMaxDripLength, path);
  ReadInteger(config.Drips, "Drips", path);
  ReadInteger(config.DripsMin, "DripsMin", path);
  ReadInteger(config.DripsMax, "DripsMax", path);
  config.DripsMax = std::max(config.DripsMin, std::min(config.DripsMax, 6));
  ReadNumber(config.DepthOffset, "DepthOffset", path);
  ReadNumber(config.FlowTime, "FlowTime", path);
  config.FlowTime = AtLeast(config.FlowTime, 0.5f);
  ReadNumber(config.DryTime, "DryTime", path);
  config.DryTime = AtLeast(config.DryTime, 1.0f);
  ReadNumber(config.CorpseBleedTime, "CorpseBleedTime", path);
  config.CorpseBleedTime = AtLeast(config.CorpseBleedTime, 0.0f);
  ReadInteger(config.MaxBulletWounds, "MaxBulletWounds", path);
  config.MaxBulletWounds = std::max(config.MaxBulletWounds, 1);
  ReadInteger(config.MaxExplosionWounds, "MaxExplosionWounds", path);
  config.MaxExplosionWounds = std::max(config.MaxExplosionWounds, 1);
  ReadInteger(config.MaxFallWounds, "MaxFallWounds", path);
  config.MaxFallWounds = std::max(config.MaxFallWounds, 1);
  ReadNumber(config.FallMinDamage, "FallMinDamage", path);
  ReadBounded(config.PaintBudget, "PaintBudget", kMaxPaintBudget, path);
  ReadInteger(config.FollowPose, "FollowPose", path);
  config.FollowPose = std::clamp(config.FollowPose, 0, 1);
  ReadBounded(config.BloodMemory, "BloodMemory", kMaxBloodMemory, path);
  // A budget too small for one ped's masks would evict every ped but the one just hit.
  if (config.BloodMemory > 0.0f) config.BloodMemory = std::max(config.BloodMemory, kMinBloodMemory);
  ReadColour(config.BloodColor, "BloodColor", path);
  ReadColour(config.DriedColor, "DriedColor", path);
  ReadInteger(config.LogTextureNames, "LogTextureNames", path);
  ReadNameList(config.SkinTextures, "SkinTextures", path);
  ReadNameList(config.ClothTextures, "ClothTextures", path);
}

std::vector<std::string> SplitNameList(const char* text) {
  std::vector<std::string> names;
  std::string name;
  for (const char* p = text ? text : "";; ++p) {
    if (*p == ',' || *p == '\0') {
      if (!name.empty()) names.push_back(name);
      name.clear();
      if (*p == '\0') break;
    } else if (*p != ' ') {
      name.push_back((*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : *p);
    }
  }
  return names;
}
