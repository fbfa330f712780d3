// libFuzzer target for the configuration reader: any file contents load without a crash,
// every setting ends within its limits, and the text reader keeps to its buffers.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/config.h"
#include "core/profile_text.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "violated: %s\n", what);
  std::abort();
}

const std::string& IniPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/vermiltrace-fuzz-" +
           std::to_string(getpid()) + ".ini";
  }();
  return path;
}

void CheckNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    Require(!name.empty(), "no empty names");
    for (char c : name) Require(c != ' ' && c != ',' && !(c >= 'A' && c <= 'Z'), "name text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  FILE* file = std::fopen(IniPath().c_str(), "wb");
  Require(file != nullptr, "temporary file");
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  BloodConfig c;
  LoadConfig(c, IniPath().c_str());
  Require(c.MaskSize >= 64 && c.MaskSize <= 1024, "MaskSize");
  Require(c.SeamMargin >= 0 && c.SeamMargin <= kMaxSeamMargin, "SeamMargin");
  Require(c.MaxBloodyPeds >= 1, "MaxBloodyPeds");
  Require(c.DripsMax >= c.DripsMin && (c.DripsMax <= 6 || c.DripsMax == c.DripsMin), "DripsMax");
  Require(c.FlowTime >= 0.5f, "FlowTime");
  Require(c.DryTime >= 1.0f, "DryTime");
  Require(c.CorpseBleedTime >= 0.0f, "CorpseBleedTime");
  Require(c.MaxBulletWounds >= 1 && c.MaxExplosionWounds >= 1 && c.MaxFallWounds >= 1,
          "wound counts");
  for (float radius : {c.WoundRadius, c.ShotgunWoundRadius, c.RifleWoundRadius}) {
    Require(radius >= 0.0f && radius <= kMaxWoundRadius, "wound radii");
  }
  Require(c.ExitWounds == 0 || c.ExitWounds == 1, "ExitWounds");
  Require(c.DripLength >= 0.0f && c.DripLength <= kMaxDripLength, "DripLength");
  Require(c.PaintBudget >= 0.0f && c.PaintBudget <= kMaxPaintBudget, "PaintBudget");
  Require(c.FollowPose == 0 || c.FollowPose == 1, "FollowPose");
  Require(c.BloodMemory == 0.0f ||
              (c.BloodMemory >= kMinBloodMemory && c.BloodMemory <= kMaxBloodMemory),
          "BloodMemory");
  for (int i = 0; i < 3; ++i) {
    Require(c.BloodColor[i] >= 0.0f && c.BloodColor[i] <= 1.0f, "BloodColor");
    Require(c.DriedColor[i] >= 0.0f && c.DriedColor[i] <= 1.0f, "DriedColor");
  }
  CheckNames(c.SkinTextures);
  CheckNames(c.ClothTextures);

  // The reader on its own, with the keys as sections and sizes down to one byte.
  for (size_t bufferSize : {1, 2, 5, 64}) {
    char out[64];
    std::memset(out, '#', sizeof(out));
    size_t n = ProfileStringFromText(text, "Blood", "MaskSize", "def", out, bufferSize);
    Require(n < bufferSize && out[n] == '\0' && std::strlen(out) == n, "string result");
    Require(bufferSize == sizeof(out) || out[bufferSize] == '#', "stays in its buffer");
  }
  ProfileIntFromText(text, "Overrides", "SkinTextures", 7);
  return 0;
}
