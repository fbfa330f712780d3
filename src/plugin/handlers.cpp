#include "plugin/handlers.h"

#include "damage/corpse_shots.h"
#include "damage/damage_hook.h"
#include "damage/hit_history.h"
#include "damage/wound_profile.h"
#include "plugin/system_state.h"
#include "render/blood_pass.h"
#include "render/texture_names_log.h"
#include "wounds/blood_state.h"

namespace {

// The game's own routine: through the trampoline under the hook's lock while the hook is
// installed, and directly once the hook is going, so that the routine still runs.
template <typename Call>
void CallOriginal(HostHook* hook, Call call) {
  if (!hook) {
    call();
    return;
  }
  hook->Lock();
  if (hook->Installed()) call();
  hook->Unlock();
}

}  // namespace

void DamageThunk(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2) {
  CallOriginal(State().damageHook.get(),
               [&] { Host().CallDamageTrampoline(record, entity, arg1, arg2); });
  HandlePedDamage(Context(), record, entity);
  LogNewModelTextures(Context(), State().pass);
}

uint8_t FireThunk(HostWeapon* weapon, const FireArgs& args) {
  uint8_t result = 0;
  CallOriginal(State().fireHook.get(), [&] { result = Host().CallFireTrampoline(weapon, args); });
  HostPed* player = Host().FindPlayerPed();
  if (result != 0 && player && args.shooter == player) {
    const int32_t code = Host().WeaponCode(weapon);
    if (IsBulletWeapon(code)) ShootCorpses(Context(), player, code, 1);
    LogNewModelTextures(Context(), State().pass);
  }
  return result;
}

void PedRenderDetour(HostPed* ped) {
  CallOriginal(State().renderHook.get(), [&] { Host().CallRenderTrampoline(ped); });
  DrawBloodPass(Context(), State().pass, ped);
}

void OnFrame() { UpdateBloodFrame(Context()); }

void OnGameReset() { ResetAllBlood(Context()); }

void OnPedRemoved(HostPed* ped) {
  const DamageContext ctx = Context();
  RemovePedBlood(ctx, ped);
  EraseHitRecord(ctx.hits, ped);
  ctx.tables.corpseDeathTimes.erase(ped);
}
