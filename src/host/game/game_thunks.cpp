#include "host/game/game_thunks.h"

#include <windows.h>

#include <atomic>

#include "hooking/thread_hold.h"
#include "host/game/game_addresses.h"

namespace {

namespace ga = game_address;

// Constant-initialised: valid before the plug-in's start-up and after its shutdown.
enum GateState { kNotYetOpen, kOpen, kClosed };
struct EntryGate {
  std::atomic<int> state;   // GateState
  std::atomic<int> inside;  // threads in the entry, on either path
};
EntryGate gates[3];
// Written before a site's gate opens and kept after it closes.
HookHandlers handlers{};

// Counts the calling thread in for its whole stay, so that closing waits for it. A call
// that comes between the hook's jump being written and the hook being kept waits for
// that: the routine itself still leads here.
class Passage {
 public:
  explicit Passage(HookSite site) : gate_(gates[static_cast<int>(site)]) {
    ++gate_.inside;
    while (gate_.state == kNotYetOpen) SwitchToThread();
  }
  ~Passage() { --gate_.inside; }
  Passage(const Passage&) = delete;
  Passage& operator=(const Passage&) = delete;
  bool open() const { return gate_.state == kOpen; }

 private:
  EntryGate& gate_;
};

template <typename Fn>
Fn Routine(uintptr_t address) {
  return reinterpret_cast<Fn>(address);
}

}  // namespace

void OpenHookEntry(HookSite site, const HookHandlers& siteHandlers) {
  handlers = siteHandlers;
  gates[static_cast<int>(site)].state = kOpen;
}

void CloseHookEntry(HookSite site) {
  EntryGate& gate = gates[static_cast<int>(site)];
  gate.state = kClosed;
  inline_hook::WaitUntilLeft(gate.inside);
}

bool HookEntriesBusy() {
  for (const EntryGate& gate : gates) {
    if (gate.inside > 0) return true;
  }
  return false;
}

void VT_THISCALL DamageHookEntry(HostDamage* record, HostEntity* entity, uint32_t arg1,
                                 uint32_t arg2) {
  Passage passage(HookSite::Damage);
  if (passage.open()) {
    handlers.damage(record, entity, arg1, arg2);
  } else {
    using Fn = void(VT_THISCALL*)(HostDamage*, HostEntity*, uint32_t, uint32_t);
    Routine<Fn>(ga::kDamageRoutine)(record, entity, arg1, arg2);
  }
}

uint8_t VT_THISCALL FireHookEntry(HostWeapon* weapon, HostPed* shooter, uint32_t arg2,
                                  uint32_t arg3, uint32_t arg4, uint32_t arg5, uint32_t arg6) {
  Passage passage(HookSite::Fire);
  if (passage.open())
    return handlers.fire(weapon, FireArgs{shooter, {arg2, arg3, arg4, arg5, arg6}});
  using Fn = uint8_t(VT_THISCALL*)(HostWeapon*, HostPed*, uint32_t, uint32_t, uint32_t, uint32_t,
                                   uint32_t);
  return Routine<Fn>(ga::kFireRoutine)(weapon, shooter, arg2, arg3, arg4, arg5, arg6);
}

void VT_THISCALL RenderHookEntry(HostPed* ped) {
  Passage passage(HookSite::Render);
  if (passage.open()) {
    handlers.render(ped);
  } else {
    Routine<void(VT_THISCALL*)(HostPed*)>(ga::kPedRender)(ped);
  }
}
