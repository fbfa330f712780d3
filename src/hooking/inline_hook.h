// Inline hooks on routines of this process (32-bit Windows only): the routine's first
// instructions are replaced by a jump to a destination and moved into a trampoline, from
// which the original routine can still be called.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "hooking/allocator.h"
#include "hooking/displaced_code.h"
#include "hooking/process_memory.h"

namespace inline_hook {

// The platform's address space (VirtualQuery, VirtualAlloc, GetSystemInfo).
PageSource& SystemPageSource();

class InlineHook {
 public:
  InlineHook() = default;  // empty: not installed
  InlineHook(InlineHook&& other) noexcept;
  // Removes this hook's installation, then takes over other's (other is left empty).
  InlineHook& operator=(InlineHook&& other) noexcept;
  InlineHook(const InlineHook&) = delete;
  InlineHook& operator=(const InlineHook&) = delete;
  ~InlineHook();  // Destroy()

  // Diverts the routine at target to destination. An empty hook, with target's bytes
  // untouched and no memory kept, when any step fails: undecodable or unrelocatable code,
  // no memory within reach, protection that cannot be lifted, a held thread stopped where
  // it cannot be moved into the trampoline.
  static InlineHook Create(uintptr_t target, uintptr_t destination);

  // Writes the displaced bytes back (other threads held) and frees the trampoline; threads
  // stopped in the trampoline are moved back to the routine. When the target no longer
  // holds this hook's jump (another hook was placed over it) or cannot be written, the
  // hook stays as a pass-through to the original routine, its trampoline kept for the
  // life of the process. The hook object is empty afterwards either way.
  memory::Removal Destroy();

  bool Installed() const { return trampoline_.address() != 0 && trampoline_.size() != 0; }
  // Calls the original routine when called with the routine's own contract; 0 when empty.
  uintptr_t Trampoline() const { return trampoline_.address(); }
  uintptr_t Target() const { return target_; }
  const std::vector<uint8_t>& DisplacedBytes() const { return displaced_; }
  // Held while calling through Trampoline(), and by installing, removing and moving.
  std::recursive_mutex& Lock() { return lock_; }

 private:
  uintptr_t target_ = 0;
  uintptr_t destination_ = 0;
  Allocation trampoline_;
  std::vector<uint8_t> displaced_;
  uint32_t trampolineSize_ = 0;
  std::recursive_mutex lock_;
  DisplacedCode code_;  // instruction map for moving held threads at removal
};

}  // namespace inline_hook
