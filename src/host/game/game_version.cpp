#include "host/game/game_version.h"

#include "host/game_facts.h"

const VersionProbe kVersionProbes[kVersionProbeCount] = {
    {game_address::kCodeStart, 0x53EC8B55, game::kVersionOriginal},    // 55 8B EC 53
    {game_address::kCodeStart, 0x16197BE9, game::kVersionDowngraded},  // E9 7B 19 16: a jump
    {0x8245BC, 0x94BF, 1011},
    {0x8252FC, 0x94BF, 1101},
    {0x82533C, 0x94BF, 1111},
    {0x858D51, 0x3539F633, 3200},
    {0x858C61, 0x3539F633, 3210},
};

int DetectGameVersion(const std::function<uint32_t(uintptr_t fixedAddress)>& readHostWord) {
  for (const VersionProbe& probe : kVersionProbes) {
    if (readHostWord(probe.fixedAddress) == probe.word) return probe.version;
  }
  return 0;
}

uintptr_t RebaseFrom(uintptr_t imageBase, uintptr_t fixedAddress) {
  return imageBase + fixedAddress - game_address::kFixedImageBase;
}
