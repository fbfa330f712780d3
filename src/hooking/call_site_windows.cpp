#include "hooking/call_site.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "hooking/branch_target.h"
#include "hooking/inline_hook.h"
#include "hooking/process_memory.h"
#include "hooking/thread_hold.h"

namespace events {
namespace {

// Each hooked site needs a routine of its own for the host to call; these are taken from
// fixed pools, one per contract. A slot keeps its site's saved target after the site is
// restored: a thread that took the patched call just before still reaches the host's
// routine. Constant-initialised, so usable from any static initialiser or destructor.
constexpr int kDispatchers = 16;
struct Slot {
  std::atomic<const CallSite*> site;  // null while free
  std::atomic<uintptr_t> target;      // the saved target of the site it served last
  std::atomic<int> inside;            // threads in this slot's dispatcher
};
Slot memberSlots[kDispatchers];
Slot plainSlots[kDispatchers];

using MemberRoutine = uintptr_t(__thiscall*)(void* self);
using PlainRoutine = uintptr_t (*)();

uintptr_t CallTarget(CallContract contract, uintptr_t target, void* self) {
  if (contract == CallContract::Member) return reinterpret_cast<MemberRoutine>(target)(self);
  return reinterpret_cast<PlainRoutine>(target)();
}

uintptr_t CallSaved(const CallSite& site, void* self) {
  return CallTarget(site.contract, site.savedTarget, self);
}

// Counted while inside, so that a site is not freed (nor the library unloaded) under it.
uintptr_t EnterSlot(Slot& slot, CallContract contract, void* self) {
  ++slot.inside;
  const CallSite* site = slot.site.load();
  const uintptr_t result = site ? Dispatch(*site, self) : CallTarget(contract, slot.target, self);
  --slot.inside;
  return result;
}

template <int N>
uintptr_t __thiscall MemberDispatcher(void* self) {
  return EnterSlot(memberSlots[N], CallContract::Member, self);
}

template <int N>
uintptr_t PlainDispatcher() {
  return EnterSlot(plainSlots[N], CallContract::Plain, nullptr);
}

template <int... N>
std::array<uintptr_t, kDispatchers> MemberDispatchers(std::integer_sequence<int, N...>) {
  return {reinterpret_cast<uintptr_t>(&MemberDispatcher<N>)...};
}

template <int... N>
std::array<uintptr_t, kDispatchers> PlainDispatchers(std::integer_sequence<int, N...>) {
  return {reinterpret_cast<uintptr_t>(&PlainDispatcher<N>)...};
}

Slot* Slots(CallContract contract) {
  return contract == CallContract::Member ? memberSlots : plainSlots;
}

uintptr_t DispatcherAddress(CallContract contract, int slot) {
  static const std::array<uintptr_t, kDispatchers> member =
      MemberDispatchers(std::make_integer_sequence<int, kDispatchers>());
  static const std::array<uintptr_t, kDispatchers> plain =
      PlainDispatchers(std::make_integer_sequence<int, kDispatchers>());
  return contract == CallContract::Member ? member[slot] : plain[slot];
}

// A free slot, preferring one whose kept target is this one (or none): a late thread of
// the site it served before then still calls the right routine.
int FreeSlot(CallContract contract, uintptr_t target) {
  Slot* slots = Slots(contract);
  int any = -1;
  for (int i = 0; i < kDispatchers; ++i) {
    if (slots[i].site) continue;
    if (slots[i].target == target || slots[i].target == 0) return i;
    if (any < 0) any = i;
  }
  return any;
}

void WriteStub(uintptr_t stub, uintptr_t destination) {
  const auto jump = memory::RelativeBranch(0xE9, uint32_t(stub), uint32_t(destination));
  memcpy(reinterpret_cast<void*>(stub), jump.data(), jump.size());
  FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(stub), jump.size());
}

// A thread stopped on the stub has taken the call but not yet its jump.
inline_hook::IpMove StubToTarget(uint32_t eip, uint32_t* moved, const void* context) {
  const CallSite& site = *static_cast<const CallSite*>(context);
  if (eip != site.stub.address()) return inline_hook::IpMove::Keep;
  *moved = uint32_t(site.savedTarget);
  return inline_hook::IpMove::Move;
}

// Takes the site's patch out, or leaves it leading to the saved target (see Remove).
memory::Removal Unpatch(CallSite& site) {
  const auto ours =
      memory::RelativeBranch(0xE8, uint32_t(site.address), uint32_t(site.stub.address()));
  uint8_t current[memory::kRelativeBranchSize];
  bool restored = false;
  {
    inline_hook::HeldThreads threads;
    const bool stillOurs = memory::ReadBytes(site.address, current, sizeof(current), true) &&
                           memcmp(current, ours.data(), ours.size()) == 0;
    threads.PlanMoves(StubToTarget, &site);
    restored = stillOurs && memory::WriteBytes(site.address, site.saved.bytes, site.saved.count,
                                               site.saved.liftProtection);
    if (restored) {
      threads.ApplyMoves();
    } else {
      WriteStub(site.stub.address(), site.savedTarget);
    }
  }
  site.saved.present = false;
  if (restored) {
    site.stub.Reset();
    return memory::Removal::Restored;
  }
  // The other patch leads to the stub for as long as it stays, which may be for good.
  static_cast<void>(new inline_hook::Allocation(std::move(site.stub)));
  return memory::Removal::LeftInPlace;
}

}  // namespace

bool DispatchersBusy() {
  for (const Slot* slots : {memberSlots, plainSlots}) {
    for (int i = 0; i < kDispatchers; ++i) {
      if (slots[i].inside > 0) return true;
    }
  }
  return false;
}

CallSite::~CallSite() { memory::RestoreBytes(&saved); }

std::shared_ptr<CallSite> CallSiteAt(uintptr_t address, CallContract contract) {
  static std::mutex mutex;
  static std::map<uintptr_t, std::weak_ptr<CallSite>> sites;
  std::lock_guard<std::mutex> hold(mutex);
  std::shared_ptr<CallSite> site = sites[address].lock();
  if (!site) {
    for (auto it = sites.begin(); it != sites.end();) {
      it = it->second.expired() ? sites.erase(it) : std::next(it);
    }
    site = std::make_shared<CallSite>();
    site->address = address;
    site->contract = contract;
    sites[address] = site;
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

  // Only a 5-byte relative call can be swapped for a call to the stub: a jump would
  // become a call, and a 6-byte indirect call would leave a stray byte behind.
  const uintptr_t address = site.address;
  uint8_t opcode = 0;
  if (!memory::ReadBytes(address, &opcode, 1, true) || opcode != 0xE8) return;
  const uintptr_t target = memory::BranchTarget(address);
  const int slot = FreeSlot(site.contract, target);
  if (slot < 0) return;
  inline_hook::Allocation stub = inline_hook::Allocator::Shared(inline_hook::SystemPageSource())
                                     ->Allocate(memory::kRelativeBranchSize, {address});
  if (stub.address() == 0) return;
  WriteStub(stub.address(), DispatcherAddress(site.contract, slot));
  memory::SaveBytes(&site.saved, address, memory::kRelativeBranchSize);
  if (!site.saved.present) return;
  // Ready before the write: another thread may take the new call at once.
  Slot& taken = Slots(site.contract)[slot];
  site.savedTarget = target;
  site.dispatcher = slot;
  taken.target = target;
  taken.site = &site;
  memory::MakeCall(address, stub.address());
  if (memory::BranchTarget(address) != stub.address()) {  // protection kept the write out
    taken.site = nullptr;
    site.dispatcher = -1;
    site.saved.present = false;
    return;
  }
  site.stub = std::move(stub);
  site.hooked = true;
}

memory::Removal HookHandle::Remove() {
  CallSite& site = *site_;
  auto own = std::find_if(site.hooks.begin(), site.hooks.end(),
                          [this](const auto& hook) { return hook.second == this; });
  if (own == site.hooks.end()) return memory::Removal::None;
  memory::Removal removal = memory::Removal::None;
  if (site.hooks.size() == 1 && site.hooked) {
    // New calls take the host's own call again (or the other patch, through the stub
    // straight to the saved target); those already in the dispatcher find the slot empty
    // and call the saved target, or finish their pass before the list goes.
    removal = Unpatch(site);
    site.hooked = false;
    Slot& slot = Slots(site.contract)[site.dispatcher];
    slot.site = nullptr;
    inline_hook::WaitUntilLeft(slot.inside);
    site.dispatcher = -1;
  }
  site.hooks.erase(own);
  return removal;
}

HookHandle::~HookHandle() { Remove(); }

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
