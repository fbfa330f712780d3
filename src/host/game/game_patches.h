// The hooking layer as the game build uses it (32-bit Windows only): version detection,
// address rebasing, the call rewrite, inline hooks on host routines and the call-site
// events. Host addresses are fixed addresses of the 1.0 US executable (game_addresses.h).
#pragma once

#include <cstdint>
#include <memory>

#include "hooking/process_memory.h"
#include "host/host_game.h"

// The running game's build, detected once from its code bytes and cached: 1001, 1002,
// 1011, 1101, 1111, 3200, 3210, or 0 when nothing is recognised.
int GameVersion();

// Base address of the process's executable (GetModuleHandleA(nullptr)), cached.
uintptr_t HostImageBase();

// HostImageBase() + fixedAddress - kFixedImageBase. Only the version probes, the call sites of the
// events and the addresses the game build chooses to rebase go through here; inline-hook
// targets and host routines are used as written.
uintptr_t Rebase(uintptr_t fixedAddress);

// The 32-bit word at Rebase(fixedAddress), page protection lifted around the read; 0 when
// the memory is not there to read.
uint32_t ReadHostWord(uintptr_t fixedAddress);

namespace inline_hook {

class InlineHook;

// An inline hook on a host routine, as the system's HostHook. Destroying it removes the
// hook (the displaced bytes are written back while the other threads are held).
class GameHook : public HostHook {
 public:
  explicit GameHook(std::unique_ptr<InlineHook> hook);  // hook must not be null
  ~GameHook() override;
  GameHook(const GameHook&) = delete;
  GameHook& operator=(const GameHook&) = delete;

  // Removes the hook now, as destruction would; the object stays, empty. LeftInPlace
  // when another hook had been placed over it (see InlineHook::Destroy).
  memory::Removal Remove();
  bool Installed() const override;
  // The hook's recursive lock: held by the thunks while calling through Trampoline().
  void Lock() override;
  void Unlock() override;
  // Where to call the original routine (0 when the hook is empty). Read under Lock().
  uintptr_t Trampoline() const;

 private:
  std::unique_ptr<InlineHook> hook_;
};

// Diverts the routine at target (used as written) to destination. Never null; the hook is
// empty (not installed, target untouched) when any step fails.
std::unique_ptr<GameHook> PlaceGameHook(uintptr_t target, uintptr_t destination);

}  // namespace inline_hook

namespace events {

// Subscribes to one of the system's events at its call sites in game_addresses.h: ped
// removal (a member call on the ped), frame, first reset, second reset (two sites).
// A null callback, a non-zero id already in the chosen list, or the same routine
// subscribed with id 0 to the same list, is refused (a share is still returned and keeps
// the event alive). The first stored callback of an event patches its call sites (rebased)
// for the running version; only 5-byte E8 calls are patched. Never null: the result is the
// subscription's share of the event, and when the last share of an event is destroyed its
// call sites get their 5 saved bytes back (with protection lifted). HostEvent::PedRemoval
// passes the ped and is subscribed through SubscribePedRemoval; Subscribe gives it an empty
// share.
std::unique_ptr<HostPatch> SubscribePedRemoval(EventOrder order, PedEventCallback callback,
                                               int32_t id);
std::unique_ptr<HostPatch> Subscribe(HostEvent event, EventOrder order, PlainEventCallback callback,
                                     int32_t id);

}  // namespace events
