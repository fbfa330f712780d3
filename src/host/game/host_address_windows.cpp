#include <windows.h>

#include "hooking/process_memory.h"
#include "host/game/game_patches.h"
#include "host/game/game_version.h"

uintptr_t HostImageBase() {
  static const uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  return base;
}

uintptr_t Rebase(uintptr_t fixedAddress) { return RebaseFrom(HostImageBase(), fixedAddress); }

uint32_t ReadHostWord(uintptr_t fixedAddress) { return memory::ReadWord(Rebase(fixedAddress)); }

int GameVersion() {
  static const int version = DetectGameVersion(ReadHostWord);
  return version;
}
