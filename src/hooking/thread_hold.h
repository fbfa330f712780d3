// Every other thread of this process held still around a code write (32-bit Windows only).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "hooking/displaced_code.h"

namespace inline_hook {

// Suspends every other thread of the process (NtGetNextThread walks, repeated until a
// walk finds no new thread whose context can be read) and resumes exactly those threads
// when destroyed. Takes nothing from the heap while threads are held: a held thread may
// own its lock.
class HeldThreads {
 public:
  HeldThreads();
  ~HeldThreads();
  HeldThreads(const HeldThreads&) = delete;
  HeldThreads& operator=(const HeldThreads&) = delete;

  // False when the threads could not all be held (nothing is held then).
  bool complete() const { return complete_; }
  size_t count() const { return count_; }
  // True when a held thread is stopped in [begin, end), or its place cannot be read.
  bool AnyStoppedIn(uintptr_t begin, uintptr_t end) const;

  // Where rule sends a thread stopped at eip (see IpMove).
  using MoveRule = IpMove (*)(uint32_t eip, uint32_t* moved, const void* context);
  // Reads every held thread's instruction pointer and notes where rule sends it. False
  // when a thread is Unmappable. Threads whose context cannot be read stay where they are.
  bool PlanMoves(MoveRule rule, const void* context);
  // Moves the planned threads, all or none: false when a context cannot be written.
  bool ApplyMoves();

 private:
  struct Held {
    void* thread;
    uint32_t id;
    uint32_t eip;
    uint32_t moved;
    bool move;
  };
  bool Holds(uint32_t id) const;
  bool Add(void* thread, uint32_t id);
  void ResumeAll();

  Held* held_ = nullptr;  // page memory, not heap
  size_t count_ = 0;
  size_t capacity_ = 0;
  bool complete_ = false;
};

// Waits until inside, the count of threads in code that is about to go away, drops to 0.
// Stops waiting when no other thread of the process is left: at process exit the others
// were ended wherever they were, and their counts never drop.
void WaitUntilLeft(const std::atomic<int>& inside);

// Waits until, all other threads held at once, none stands in [begin, end) and busy()
// (counts of threads inside calls that lead through that code) is false. From then on no
// thread can come back into that code unless it is called anew, so it may be unmapped.
// Also ends when no other thread is left.
void WaitUntilNoThreadIn(uintptr_t begin, uintptr_t end, bool (*busy)());

}  // namespace inline_hook
