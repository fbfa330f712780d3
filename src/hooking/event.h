// Events on host call sites (32-bit Windows only): callbacks run before and after the
// host's call at each of the event's call sites.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "hooking/call_site.h"

namespace events {

// Which of an event's callback lists: run before or after the host's call.
enum class Order : uint8_t { Before, After };

// Args is empty for plain call sites, or the one object pointer of member-call sites.
template <typename... Args>
class Event {
  static_assert(sizeof...(Args) <= 1, "a call site passes at most its object");

 public:
  using Callback = std::function<void(Args...)>;
  using Routine = void (*)(Args...);
  struct Entry {
    Callback callback;
    int32_t id;  // 0: none
  };
  // sites: addresses of call instructions in this process, as they are to be patched.
  Event(std::vector<uintptr_t> sites, CallContract contract)
      : sites_(std::move(sites)), contract_(contract) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Appends callback to the chosen list, patching the event's sites on the first
  // subscription. Refused (false): an empty callback, a non-zero id already in the list, or
  // with id 0 a plain routine already in the list (closures are never duplicates).
  bool Subscribe(Order order, Callback callback, int32_t id) {
    if (!callback) return false;
    std::vector<Entry>& list = order == Order::Before ? before_ : after_;
    const Routine* routine = callback.template target<Routine>();
    for (const Entry& entry : list) {
      if (id != 0 && entry.id == id) return false;
      const Routine* other = entry.callback.template target<Routine>();
      if (id == 0 && routine && other && *routine == *other) return false;
    }
    if (!patched_) {
      patched_ = true;
      PatchAll();
    }
    list.push_back({std::move(callback), id});
    return true;
  }

  // Takes the event's hooks off its call sites, last site first (the destructor does it
  // too). True when a site's patch had to stay because another was written over it.
  bool Unpatch() {
    bool leftInPlace = false;
    while (!handles_.empty()) {
      leftInPlace |= handles_.back()->Remove() == memory::Removal::LeftInPlace;
      handles_.pop_back();
    }
    return leftInPlace;
  }

  const std::vector<Entry>& before() const { return before_; }
  const std::vector<Entry>& after() const { return after_; }

 private:
  // Hooks every call site, in the order given, with this event's dispatch routine.
  void PatchAll() {
    for (uintptr_t site : sites_) {
      auto handle = std::make_unique<HookHandle>(CallSiteAt(site, contract_));
      handle->Install([this](const Chain& next, void* self) { return Run(next, self); });
      handles_.push_back(std::move(handle));
    }
  }

  // Callbacks run on copies, over the entries present when the pass began: a callback
  // that subscribes another must not pull the list from under the loop.
  static void RunList(const std::vector<Entry>& list, [[maybe_unused]] void* self) {
    const size_t count = list.size();
    for (size_t i = 0; i < count && i < list.size(); ++i) {
      Callback callback = list[i].callback;
      callback(static_cast<Args>(self)...);
    }
  }

  uintptr_t Run(const Chain& next, void* self) const {
    RunList(before_, self);
    const uintptr_t result = next(self);
    RunList(after_, self);
    return result;
  }

  std::vector<uintptr_t> sites_;
  CallContract contract_;
  bool patched_ = false;
  std::vector<Entry> before_;
  std::vector<Entry> after_;
  // Last: destroyed first, so the sites are restored before the lists go.
  std::vector<std::unique_ptr<HookHandle>> handles_;
};

}  // namespace events
