// BloodConfig: every tunable of the system, read once from Vermiltrace.ini at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings_table.h"

#define VT_FIELD_Integer(name, ...) int32_t name = __VA_ARGS__;
#define VT_FIELD_Number(name, ...) float name = __VA_ARGS__;
#define VT_FIELD_Colour(name, ...) float name[3] = __VA_ARGS__;
#define VT_FIELD_NameList(name, ...) std::vector<std::string> name = __VA_ARGS__;
#define VT_FIELD(section, name, type, limit, low, high, ...) VT_FIELD_##type(name, __VA_ARGS__)

// One field per key of settings_table.h, named as the key, holding its compiled default.
struct BloodConfig {
  VT_SETTINGS(VT_FIELD)
};

#undef VT_FIELD
#undef VT_FIELD_Integer
#undef VT_FIELD_Number
#undef VT_FIELD_Colour
#undef VT_FIELD_NameList

// Fills config from the ini file at path, key by key, in the file's documented order.
// A missing file, section or key keeps the default.
void LoadConfig(BloodConfig& config, const char* path);

// Splits a name list: names at commas, every space removed, A-Z lower-cased, empty names
// dropped.
std::vector<std::string> SplitNameList(const char* text);
