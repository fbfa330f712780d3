#include "hooking/call_site.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>
#include <utility>

#include "hooking/game_patches.h"

namespace events {
namespace {

// Each hooked site needs a routine of its own for the host to call; these are taken from
// fixed pools, one per contract.
constexpr int kDispatchers = 16;
CallSite* memberSites[kDispatchers];
CallSite* plainSites[kDispatchers];

using MemberRoutine = uintptr_t(__thiscall*)(void* self);
using PlainRoutine = uintptr_t (*)();

uintptr_t CallSaved(const CallSite& site, void* self) {
  if (site.contract == CallContract::Member) {
    return reinterpret_cast<MemberRoutine>(site.savedTarget)(self);
  }
  return reinterpret_cast<PlainRoutine>(site.savedTarget)();
}

// A thread that entered just as its site was restored finds the slot empty.
template <int N>
uintptr_t __thiscall MemberDispatcher(void* self) {
  const CallSite* site = memberSites[N];
  return site ? Dispatch(*site, self) : 0;
}

template <int N>
uintptr_t PlainDispatcher() {
  const CallSite* site = plainSites[N];
  return site ? Dispatch(*site, nullptr) : 0;
}

template <int... N>
std::array<uintptr_t, kDispatchers> MemberDispatchers(std::integer_sequence<int, N...>) {
  return {reinterpret_cast<uintptr_t>(&MemberDispatcher<N>)...};
}

template <int... N>
std::array<uintptr_t, kDispatchers> PlainDispatchers(std::integer_sequence<int, N...>) {
  return {reinterpret_cast<uintptr_t>(&PlainDispatcher<N>)...};
}

CallSite** Slots(CallContract contract) {
  return contract == CallContract::Member ? memberSites : plainSites;
}

uintptr_t DispatcherAddress(CallContract contract, int slot) {
  static const std::array<uintptr_t, kDispatchers> member =
      MemberDispatchers(std::make_integer_sequence<int, kDispatchers>());
  static const std::array<uintptr_t, kDispatchers> plain =
      PlainDispatchers(std::make_integer_sequence<int, kDispatchers>());
  return contract == CallContract::Member ? member[slot] : plain[slot];
}

int FreeSlot(CallContract contract) {
  CallSite** slots = Slots(contract);
  for (int i = 0; i < kDispatchers; ++i) {
    if (!slots[i]) return i;
  }
  return -1;
}

}  // namespace

CallSite::~CallSite() { memory::RestoreBytes(&saved); }

std::shared_ptr<CallSite> CallSiteAt(uintptr_t fixedAddress, CallContract contract) {
  static std::mutex mutex;
  static std::map<uintptr_t, std::weak_ptr<CallSite>> sites;
  std::lock_guard<std::mutex> hold(mutex);
  std::shared_ptr<CallSite> site = sites[fixedAddress].lock();
  if (!site) {
    for (auto it = sites.begin(); it != sites.end();) {
      it = it->second.expired() ? sites.erase(it) : std::next(it);
    }
    site = std::make_shared<CallSite>();
    site->fixedAddress = fixedAddress;
    site->contract = contract;
    sites[fixedAddress] = site;
  }
  return site;
}

void HookHandle::Install(HookRoutine routine) {
  CallSite& site = *site_;
  auto own = std::find_if(site.hooks.begin(), site.hooks.end(),
                          [this](const auto& hook) { return hook.second == this; });
  if (own != site.hooks.end()) {
    own->first = std::move(routine);
  } else {
    site.hooks.emplace_back(std::move(routine), this);
  }
  if (site.hooked) return;

  // Only a 5-byte relative call can be swapped for a call to the dispatcher: a jump would
  // become a call, and a 6-byte indirect call would leave a stray byte behind.
  const uintptr_t address = Rebase(site.fixedAddress);
  uint8_t opcode = 0;
  const int slot = FreeSlot(site.contract);
  if (slot < 0 || !memory::ReadBytes(address, &opcode, 1, true) || opcode != 0xE8) return;
  const uintptr_t dispatcher = DispatcherAddress(site.contract, slot);
  memory::SaveBytes(&site.saved, address, 5);
  if (!site.saved.present) return;
  // Ready before the write: another thread may take the new call at once.
  site.savedTarget = memory::BranchTarget(address);
  site.dispatcher = slot;
  Slots(site.contract)[slot] = &site;
  memory::MakeCall(address, dispatcher);
  if (memory::BranchTarget(address) != dispatcher) {  // protection kept the write out
    Slots(site.contract)[slot] = nullptr;
    site.dispatcher = -1;
    site.saved.present = false;
    return;
  }
  site.hooked = true;
}

HookHandle::~HookHandle() {
  CallSite& site = *site_;
  site.hooks.erase(std::remove_if(site.hooks.begin(), site.hooks.end(),
                                  [this](const auto& hook) { return hook.second == this; }),
                   site.hooks.end());
  if (!site.hooks.empty() || !site.hooked) return;
  memory::RestoreBytes(&site.saved);
  site.hooked = false;
  Slots(site.contract)[site.dispatcher] = nullptr;
  site.dispatcher = -1;
}

uintptr_t Dispatch(const CallSite& site, void* self) {
  if (site.hooks.empty()) return CallSaved(site, self);
  Chain chain = [&site](void* object) { return CallSaved(site, object); };
  for (const auto& hook : site.hooks) {
    chain = [routine = hook.first, next = std::move(chain)](void* object) {
      return routine(next, object);
    };
  }
  return chain(self);
}

}  // namespace events
