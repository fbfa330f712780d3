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

constexpr size_t kNumberBuffer = 64;
constexpr size_t kNameListBuffer = 2048;

// NaN fails the comparison on purpose, so a value that is not a number takes the limit.
template <typename T>
T AtLeast(T value, T limit) {
  return value >= limit ? value : limit;
}

void Read(int32_t& field, const Setting& key, const BloodConfig& config, const char* path) {
  field = platform::ProfileInt(key.section, key.name, field, path);
  const auto low = static_cast<int32_t>(key.low);
  const auto high = static_cast<int32_t>(key.high);
  switch (key.limit) {
    case SettingLimit::Clamp:
      field = std::clamp(field, low, high);
      break;
    case SettingLimit::AtLeast:
      field = AtLeast(field, low);
      break;
    case SettingLimit::AtMostNotBelowDripsMin:
      field = std::max(config.DripsMin, std::min(field, high));
      break;
    case SettingLimit::None:
    case SettingLimit::OffOrWithin:
      break;
  }
}

// An empty value keeps the default; text that does not convert reads as 0.0.
void Read(float& field, const Setting& key, const BloodConfig&, const char* path) {
  const float fallback = field;
  char text[kNumberBuffer] = {};
  platform::ProfileString(key.section, key.name, "", text, sizeof(text), path);
  if (text[0] != '\0') field = static_cast<float>(std::strtod(text, nullptr));
  const auto low = static_cast<float>(key.low);
  const auto high = static_cast<float>(key.high);
  switch (key.limit) {
    case SettingLimit::Clamp:
      field = std::isfinite(field) ? std::clamp(field, low, high) : fallback;
      break;
    case SettingLimit::AtLeast:
      field = AtLeast(field, low);
      break;
    case SettingLimit::OffOrWithin:
      field = std::isfinite(field) ? std::clamp(field, 0.0f, high) : fallback;
      if (field > 0.0f) field = std::max(field, low);
      break;
    case SettingLimit::None:
    case SettingLimit::AtMostNotBelowDripsMin:
      break;
  }
}

// Scanning stops at the first component that does not convert; the rest keep defaults. A
// component that is not a finite number keeps its default too; the others end in low ...
// high.
void Read(float (&colour)[3], const Setting& key, const BloodConfig&, const char* path) {
  char text[kNumberBuffer] = {};
  platform::ProfileString(key.section, key.name, "", text, sizeof(text), path);
  if (text[0] == '\0') return;
  float read[3] = {colour[0], colour[1], colour[2]};
  std::sscanf(text, "%f,%f,%f", &read[0], &read[1], &read[2]);
  for (int i = 0; i < 3; ++i) {
    if (std::isfinite(read[i])) {
      colour[i] = std::clamp(read[i], static_cast<float>(key.low), static_cast<float>(key.high));
    }
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

void Read(std::vector<std::string>& list, const Setting& key, const BloodConfig&,
          const char* path) {
  // One character more than the list keeps tells a value that was cut.
  char text[kNameListBuffer + 1] = {};
  platform::ProfileString(key.section, key.name, "", text, sizeof(text), path);
  const bool cut = std::strlen(text) >= kNameListBuffer;
  text[kNameListBuffer - 1] = '\0';
  list = SplitNameList(text);
  NoteNameList(key.name, text, cut);
}

}  // namespace

#define VT_READ(section, name, type, limit, low, high, ...)                                      \
  Read(config.name, Setting{#section, #name, SettingType::type, SettingLimit::limit, low, high}, \
       config, path);

// clang-format off
void LoadConfig(BloodConfig& config, const char* path) {
  // Each key is limited as soon as it is read: a later key's limit may depend on it.
  VT_SETTINGS(VT_READ)
}
// clang-format on

#undef VT_READ

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
