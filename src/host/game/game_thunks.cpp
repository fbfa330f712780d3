#include "host/game/game_thunks.h"

#include "core/vermiltrace.h"

void VT_THISCALL DamageHookEntry(HostDamage* record, HostEntity* entity, uint32_t arg1,
                                 uint32_t arg2) {
  DamageThunk(record, entity, arg1, arg2);
}

uint8_t VT_THISCALL FireHookEntry(HostWeapon* weapon, HostPed* shooter, uint32_t arg2,
                                  uint32_t arg3, uint32_t arg4, uint32_t arg5, uint32_t arg6) {
  const FireArgs args{shooter, {arg2, arg3, arg4, arg5, arg6}};
  return FireThunk(weapon, args);
}

void VT_THISCALL RenderHookEntry(HostPed* ped) { PedRenderDetour(ped); }

void VT_STDCALL KeepHeadRoutine(uint32_t, uint32_t) {}
