#include "plugin/handlers.h"

#include "damage/corpse_shots.h"
#include "damage/damage_hook.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "plugin/system_state.h"
#include "render/blood_pass.h"
#include "wounds/blood_state.h"

void DamageThunk(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2) {
  if (HostHook* hook = State().damageHook.get()) {
    hook->Lock();
    if (hook->Installed()) Host().CallDamageTrampoline(record, entity, arg1, arg2);
    hook->Unlock();
  } else {
    // The hook is going: the routine still runs.
    Host().CallDamageTrampoline(record, entity, arg1, arg2);
  }
  HandlePedDamage(Context(), record, entity);
}

uint8_t FireThunk(HostWeapon* weapon, const FireArgs& args) {
  uint8_t result = 0;
  if (HostHook* hook = State().fireHook.get()) {
    hook->Lock();
    if (hook->Installed()) result = Host().CallFireTrampoline(weapon, args);
    hook->Unlock();
  } else {
    result = Host().CallFireTrampoline(weapon, args);  // the hook is going
  }
  HostPed* player = Host().FindPlayerPed();
  if (result != 0 && player && args.shooter == player) {
    const int32_t code = Host().WeaponCode(weapon);
    if (IsBulletWeapon(code)) ShootCorpses(Context(), player, code, 1);
  }
  return result;
}

void PedRenderDetour(HostPed* ped) {
  if (HostHook* hook = State().renderHook.get()) {
    hook->Lock();
    if (hook->Installed()) Host().CallRenderTrampoline(ped);
    hook->Unlock();
  } else {
    Host().CallRenderTrampoline(ped);  // the hook is going: the routine still runs
  }
  DrawBloodPass(Context(), ped);
}

void OnFrame() { UpdateBloodFrame(Context()); }

void OnGameReset() { ResetAllBlood(Context()); }

void OnPedRemoved(HostPed* ped) {
  const BloodContext ctx = Context();
  RemovePedBlood(ctx, ped);
  EraseHitRecord(ctx.tables, ped);
  ctx.tables.corpseDeathTimes.erase(ped);
}
