// Call-site hook chains (32-bit Windows only): a 5-byte call instruction of the host is
// pointed at a stub (a jump to a dispatcher of this layer, in memory that outlives this
// code), and the dispatcher runs the site's hooks around the call's original target and
// gives the host that call's result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "hooking/allocator.h"
#include "hooking/process_memory.h"

namespace events {

// The host call's calling contract; both return a pointer-sized value.
enum class CallContract : uint8_t {
  Member,  // thiscall on an object in ECX, no stack arguments
  Plain,   // no arguments
};

// The rest of a chain, called with the call's object (null for plain calls).
using Chain = std::function<uintptr_t(void* self)>;
// A hook: receives the rest of the chain and the call's object, returns the call's result.
using HookRoutine = std::function<uintptr_t(const Chain& next, void* self)>;

class HookHandle;

// One call site's record, shared by the hook handles of that site.
struct CallSite {
  uintptr_t address = 0;  // of the call instruction
  CallContract contract = CallContract::Plain;
  memory::SavedBytes saved;      // the call instruction before patching
  uintptr_t savedTarget = 0;     // what the instruction called before patching
  bool hooked = false;           // the instruction calls this site's stub
  int dispatcher = -1;           // this site's dispatcher slot while hooked
  inline_hook::Allocation stub;  // E9 to the dispatcher while hooked
  std::vector<std::pair<HookRoutine, const HookHandle*>> hooks;  // installation order

  CallSite() = default;
  CallSite(const CallSite&) = delete;
  CallSite& operator=(const CallSite&) = delete;
  ~CallSite();  // writes back a backup still held
};

// The record of the call site at address: created on first use, freed with the last
// reference. contract is taken from the first request.
std::shared_ptr<CallSite> CallSiteAt(uintptr_t address, CallContract contract);

// Owns one entry of a call site's hook list. The last handle of a site to go restores it.
class HookHandle {
 public:
  explicit HookHandle(std::shared_ptr<CallSite> site) : site_(std::move(site)) {}
  HookHandle(const HookHandle&) = delete;
  HookHandle& operator=(const HookHandle&) = delete;
  ~HookHandle();

  // Sets this handle's hook (replacing an earlier one of this handle). The first hook of a
  // site patches it: only a 5-byte E8 call is rewritten, into a call to the site's stub.
  void Install(HookRoutine routine);
  // Takes this handle's hook out (the destructor does it too). The last hook of a site
  // unpatches it, other threads held: the saved bytes go back when the call instruction
  // is still the one written here; when another patch was written over it, the stub is
  // turned into a jump to the saved target and kept for the life of the process, so that
  // the other patch still reaches the original (LeftInPlace).
  memory::Removal Remove();
  // True while the site's call instruction leads to the dispatcher.
  bool SiteHooked() const { return site_->hooked; }

 private:
  std::shared_ptr<CallSite> site_;
};

// One pass through a patched call: the site's hooks chained around the saved target, the
// most recently installed hook outermost. Returns the chain's result.
uintptr_t Dispatch(const CallSite& site, void* self);

// True while any thread is counted inside a dispatcher.
bool DispatchersBusy();

}  // namespace events
