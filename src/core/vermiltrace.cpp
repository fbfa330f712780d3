#include "core/vermiltrace.h"

#include <string>

#include "core/config.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/system_state.h"
#include "damage/corpse_shots.h"
#include "damage/damage_hook.h"
#include "damage/wound_profile.h"
#include "render/blood_pass.h"
#include "wounds/blood_state.h"

namespace {

bool Installed(const std::unique_ptr<HostHook>& hook) { return hook && hook->Installed(); }

const char* HookResult(const std::unique_ptr<HostHook>& hook) {
  return Installed(hook) ? "installed" : "FAILED";
}

// Frees a scratch array's memory, not only its contents.
template <typename T>
void Free(std::vector<T>& scratch) {
  std::vector<T>().swap(scratch);
}

}  // namespace

Vermiltrace::Vermiltrace(HostGame& host) {
  SystemState& state = State();
  state.host = &host;

  // Owned copy: the path store's composed buffer is overwritten by the next request.
  const std::string iniPath = PluginFilePath("Vermiltrace.ini");
  LoadConfig(state.config, iniPath.c_str());

  const int version = Host().GameVersion();
  if (version != 1001 && version != 1002) {
    platform::ShowMessageBox(nullptr,
                             "Vermiltrace needs GTA San Andreas 1.0 US (original or "
                             "downgraded).\nThis version isn't supported, so the mod is turned "
                             "off.",
                             "Vermiltrace", 0x30);
    return;
  }

  if (state.config.Log != 0) OpenLog();
  if (LogOpen()) LogLine("Vermiltrace loaded");

  SeedRandom(state.rng, platform::TickCount());

  state.damageHook = Host().PlaceInlineHook(HookSite::Damage);
  state.fireHook = Host().PlaceInlineHook(HookSite::Fire);
  if (LogOpen()) {
    LogLine("damage hook %s, fire hook %s", HookResult(state.damageHook),
            HookResult(state.fireHook));
  }

  if (platform::ProfileInt("Blood", "KeepHeadOnHeadshot", 1, iniPath.c_str()) != 0) {
    Host().KeepHeadsOnHeadshots();
  }

  state.renderHook = Host().PlaceInlineHook(HookSite::Render);
  if (LogOpen()) LogLine("render hook %s", HookResult(state.renderHook));

  state.events.push_back(Host().SubscribePedRemoval(EventOrder::Before, OnPedRemoved, 0));
  state.events.push_back(
      Host().Subscribe(HostEvent::FirstReset, EventOrder::After, ResetAllBlood, 0));
  state.events.push_back(
      Host().Subscribe(HostEvent::SecondReset, EventOrder::After, ResetAllBlood, 0));
  state.events.push_back(
      Host().Subscribe(HostEvent::Frame, EventOrder::After, UpdateBloodFrame, 0));
}

Vermiltrace::~Vermiltrace() {
  SystemState& state = State();
  // Each subscription restores its call sites when the last share of them goes.
  while (!state.events.empty()) state.events.pop_back();

  // A hook's removal waits for the calls still inside its thunk.
  state.renderHook.reset();
  state.damageHook.reset();
  state.fireHook.reset();

  // Only now: a call still passing through a hook or call site may use them until then.
  Free(state.boneScratch);
  Free(state.savedTextures);
  Free(state.savedColours);

  // Memory only: the host's textures are not released at shutdown.
  state.hitHistory.clear();
  state.bloodGeometryCache.clear();
  state.corpseDeathTimes.clear();
  state.bloodStates.clear();
}

void DamageThunk(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2) {
  if (HostHook* hook = State().damageHook.get()) {
    hook->Lock();
    if (hook->Installed()) Host().CallDamageTrampoline(record, entity, arg1, arg2);
    hook->Unlock();
  } else {
    // The hook is going: the routine still runs.
    Host().CallDamageTrampoline(record, entity, arg1, arg2);
  }
  HandlePedDamage(record, entity);
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
    if (IsBulletWeapon(code)) ShootCorpses(player, code, 1);
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
  DrawBloodPass(ped);
}
