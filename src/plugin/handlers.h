// What the host calls: the three hook thunks and the event callbacks. Each builds the
// context of the call from the process-wide state and hands it to the system's code.
#pragma once

#include <cstdint>

#include "host/host_game.h"

// The hook thunks: the original routine through the trampoline under the hook's lock,
// then the handler outside it. The host's side of each hook calls these with the
// routine's own arguments.
void DamageThunk(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2);
uint8_t FireThunk(HostWeapon* weapon, const FireArgs& args);
void PedRenderDetour(HostPed* ped);
constexpr HookHandlers kHookHandlers{DamageThunk, FireThunk, PedRenderDetour};

// Per-frame callback: corpse times, the refresh of flowing wounds, the player's revival.
void OnFrame();
// Game-reset callback: every ped's blood goes.
void OnGameReset();
// Ped-removal callback: the ped's blood state, hit record and corpse time.
void OnPedRemoved(HostPed* ped);
