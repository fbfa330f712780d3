#include "hooking/inline_hook.h"

#include <windows.h>

#include <cstring>
#include <utility>

#include "hooking/process_memory.h"
#include "hooking/thread_hold.h"

namespace inline_hook {
namespace {

struct Placement {
  const DisplacedCode* code;
  uint32_t trampoline;
};

IpMove IntoTrampoline(uint32_t eip, uint32_t* moved, const void* context) {
  const Placement& at = *static_cast<const Placement*>(context);
  return MoveIntoTrampoline(*at.code, at.trampoline, eip, moved);
}

IpMove OutOfTrampoline(uint32_t eip, uint32_t* moved, const void* context) {
  const Placement& at = *static_cast<const Placement*>(context);
  return MoveOutOfTrampoline(*at.code, at.trampoline, eip, moved);
}

}  // namespace

InlineHook::InlineHook(InlineHook&& other) noexcept { *this = std::move(other); }

InlineHook& InlineHook::operator=(InlineHook&& other) noexcept {
  if (this == &other) return *this;
  Destroy();
  std::lock(lock_, other.lock_);  // lock one, try the other, else back off and swap order
  std::lock_guard<std::recursive_mutex> mine(lock_, std::adopt_lock);
  std::lock_guard<std::recursive_mutex> theirs(other.lock_, std::adopt_lock);
  target_ = std::exchange(other.target_, 0);
  destination_ = std::exchange(other.destination_, 0);
  trampoline_ = std::move(other.trampoline_);
  displaced_ = std::exchange(other.displaced_, {});
  trampolineSize_ = std::exchange(other.trampolineSize_, 0);
  code_ = std::exchange(other.code_, {});
  return *this;
}

InlineHook::~InlineHook() { Destroy(); }

InlineHook InlineHook::Create(uintptr_t target, uintptr_t destination) {
  InlineHook hook;
  uint8_t original[kMaxDisplacedRead];
  const size_t available = memory::ReadableBytes(target, sizeof(original));
  DisplacedCode code;
  if (!memory::ReadBytes(target, original, available, false) ||
      MeasureDisplacedCode(original, available, uint32_t(target), &code) != DisplaceError::None) {
    return hook;
  }
  const std::vector<uint32_t> reach = ReachAddresses(code);
  Allocation trampoline = Allocator::Shared(SystemPageSource())
                              ->Allocate(code.trampolineSize, {reach.begin(), reach.end()});
  if (trampoline.address() == 0) return hook;
  const std::vector<uint8_t> bytes =
      BuildTrampoline(code, original, uint32_t(trampoline.address()), uint32_t(destination));
  memcpy(reinterpret_cast<void*>(trampoline.address()), bytes.data(), bytes.size());
  FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(trampoline.address()),
                        bytes.size());
  const std::vector<uint8_t> patch = BuildTargetPatch(code, uint32_t(trampoline.address()));

  {
    HeldThreads threads;
    const Placement placement{&code, uint32_t(trampoline.address())};
    if (!threads.complete() || !threads.PlanMoves(IntoTrampoline, &placement) ||
        !memory::WriteCode(target, patch.data(), patch.size())) {
      return hook;
    }
    if (!threads.ApplyMoves()) {
      memory::WriteCode(target, original, code.displacedSize);
      return hook;
    }
  }
  hook.target_ = target;
  hook.destination_ = destination;
  hook.trampoline_ = std::move(trampoline);
  hook.displaced_.assign(original, original + code.displacedSize);
  hook.trampolineSize_ = code.trampolineSize;
  hook.code_ = std::move(code);
  return hook;
}

memory::Removal InlineHook::Destroy() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!Installed()) return memory::Removal::None;
  // Ours only while the target holds exactly the jump this hook wrote: a hook placed over
  // it since then leads through it, and writing the displaced bytes back would cut that
  // hook out and send its trampoline into freed memory.
  const std::vector<uint8_t> patch = BuildTargetPatch(code_, uint32_t(trampoline_.address()));
  const std::vector<uint8_t> passThrough = JumpToTrampolineStart(code_);
  uint8_t current[kMaxDisplacedRead];
  bool restored = false;
  {
    HeldThreads threads;
    const bool ours = memory::ReadBytes(target_, current, patch.size(), true) &&
                      memcmp(current, patch.data(), patch.size()) == 0;
    const Placement placement{&code_, uint32_t(trampoline_.address())};
    threads.PlanMoves(OutOfTrampoline, &placement);
    restored = ours && memory::WriteCode(target_, displaced_.data(), displaced_.size());
    if (restored) {
      threads.ApplyMoves();
    } else {
      // Whatever leads to the trampoline's last jump now runs the displaced instructions
      // and the jump back, never the destination (which may be unloaded code).
      const uintptr_t at = trampoline_.address() + trampolineSize_ - kJumpSize;
      memcpy(reinterpret_cast<void*>(at), passThrough.data(), passThrough.size());
      FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(at), passThrough.size());
    }
  }
  if (restored) {
    trampoline_.Reset();
  } else {
    // The target still leads into the trampoline, so the trampoline (and its block) must
    // stay for the rest of the process.
    static_cast<void>(new Allocation(std::move(trampoline_)));
  }
  target_ = 0;
  destination_ = 0;
  displaced_.clear();
  trampolineSize_ = 0;
  code_ = DisplacedCode();
  return restored ? memory::Removal::Restored : memory::Removal::LeftInPlace;
}

}  // namespace inline_hook
