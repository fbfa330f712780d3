// What the game reaches in place of its own code: the entries of the three inline hooks.
// Each has the exact calling contract of the game routine it
// stands in for (member calls: object in ECX, the callee removes the stack arguments).
#pragma once

#include <cstdint>

#include "host/host_game.h"
#include "host/host_types.h"

#define VT_THISCALL __attribute__((thiscall))

// Each entry passes its calls to the system's handlers only while the site's hook is kept
// (opened by OpenHookEntry). Afterwards the game's routine is called directly, its own
// bytes back by then: a call that arrives during or after shutdown is never lost.
void OpenHookEntry(HookSite site, const HookHandlers& handlers);
// Stops passing calls to the system and waits for the threads still inside the entry.
// Call only once the hook is removed.
void CloseHookEntry(HookSite site);
// True while any thread is counted inside an entry.
bool HookEntriesBusy();

// Damage routine (game_address::kDamageRoutine): member call on the damage record, three stack
// arguments (the first is the damaged entity). Runs the damage handler.
void VT_THISCALL DamageHookEntry(HostDamage* record, HostEntity* entity, uint32_t arg1,
                                 uint32_t arg2);

// Fire routine (kFireRoutine): member call on the weapon, six stack arguments (the first is the
// shooting ped), byte result. Runs the fire handler and returns its result.
uint8_t VT_THISCALL FireHookEntry(HostWeapon* weapon, HostPed* shooter, uint32_t arg2,
                                  uint32_t arg3, uint32_t arg4, uint32_t arg5, uint32_t arg6);

// Ped render (kPedRender): member call on the ped, no stack arguments. Runs the render handler.
void VT_THISCALL RenderHookEntry(HostPed* ped);
