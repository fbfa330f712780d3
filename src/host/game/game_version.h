// Which build of the game is running, told from a few words of its code, and the move of
// fixed host addresses (laid out for an image at 0x400000) to where the image really is.
#pragma once

#include <cstdint>
#include <functional>

#include "host/game/game_addresses.h"

// One detection probe: the build whose image holds word at fixedAddress.
struct VersionProbe {
  uintptr_t fixedAddress;
  uint32_t word;
  int version;
};

constexpr int kVersionProbeCount = 7;
// The probes in the order they are tried; the first match decides.
extern const VersionProbe kVersionProbes[kVersionProbeCount];

// Reads the probes' words through readHostWord (given fixed addresses), stopping at the
// first match. Returns that probe's build code, or 0 when none matches.
int DetectGameVersion(const std::function<uint32_t(uintptr_t fixedAddress)>& readHostWord);

// imageBase + fixedAddress - kFixedImageBase, wrapping as unsigned addresses do.
uintptr_t RebaseFrom(uintptr_t imageBase, uintptr_t fixedAddress);
