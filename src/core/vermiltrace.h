// The plug-in object: its constructor is the whole start-up, its destructor the shutdown.
#pragma once

#include <cstdint>

#include "host/host_game.h"

class Vermiltrace {
 public:
  explicit Vermiltrace(HostGame& host);
  ~Vermiltrace();
  Vermiltrace(const Vermiltrace&) = delete;
  Vermiltrace& operator=(const Vermiltrace&) = delete;
};

// The three hook thunks: the original routine through the trampoline under the hook's
// lock, then the handler outside it. The host's side of each hook calls these with the
// routine's own arguments.
void DamageThunk(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2);
uint8_t FireThunk(HostWeapon* weapon, const FireArgs& args);
void PedRenderDetour(HostPed* ped);
