#include "hooking/thread_hold.h"

#include <windows.h>

#include <cstring>

namespace inline_hook {
namespace {

using NtGetNextThreadRoutine = LONG(NTAPI*)(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                            ULONG attributes, ULONG flags, HANDLE* next);

// Suspend and resume, get and set context, limited query.
constexpr ACCESS_MASK kThreadAccess = 0x81A;
constexpr DWORD kFullContext = 0x10007;

NtGetNextThreadRoutine NextThreadRoutine() {
  static const NtGetNextThreadRoutine routine = reinterpret_cast<NtGetNextThreadRoutine>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtGetNextThread")));
  return routine;
}

bool SetInstructionPointer(HANDLE thread, uint32_t eip) {
  CONTEXT context;
  context.ContextFlags = CONTEXT_CONTROL;
  if (!GetThreadContext(thread, &context)) return false;
  context.Eip = eip;
  context.ContextFlags = CONTEXT_CONTROL;
  return SetThreadContext(thread, &context) != 0;
}

bool OtherThreadExists() {
  const NtGetNextThreadRoutine next = NextThreadRoutine();
  if (!next) return false;
  const DWORD self = GetCurrentThreadId();
  bool found = false;
  HANDLE thread = nullptr;
  HANDLE following = nullptr;
  while (!found && next(GetCurrentProcess(), thread, THREAD_QUERY_LIMITED_INFORMATION, 0, 0,
                        &following) == 0) {
    if (thread) CloseHandle(thread);
    thread = following;
    const DWORD id = GetThreadId(thread);
    found = id != 0 && id != self;
  }
  if (thread) CloseHandle(thread);
  return found;
}

}  // namespace

void WaitUntilLeft(const std::atomic<int>& inside) {
  while (inside > 0 && OtherThreadExists()) SwitchToThread();
}

void WaitUntilNoThreadIn(uintptr_t begin, uintptr_t end, bool (*busy)()) {
  for (;;) {
    {
      const HeldThreads threads;
      if (threads.count() == 0 || (!busy() && !threads.AnyStoppedIn(begin, end))) return;
    }
    SwitchToThread();
  }
}

HeldThreads::HeldThreads() {
  const NtGetNextThreadRoutine next = NextThreadRoutine();
  if (!next) return;
  const DWORD self = GetCurrentThreadId();
  for (;;) {
    int counted = 0;
    HANDLE thread = nullptr;
    bool kept = false;  // thread is in held_ and stays open
    HANDLE following = nullptr;
    while (next(GetCurrentProcess(), thread, kThreadAccess, 0, 0, &following) == 0) {
      if (thread && !kept) CloseHandle(thread);
      thread = following;
      kept = false;
      const DWORD id = GetThreadId(thread);
      if (id == 0 || id == self || Holds(id)) continue;
      if (SuspendThread(thread) == DWORD(-1)) continue;
      if (!Add(thread, id)) {
        ResumeThread(thread);
        if (thread) CloseHandle(thread);
        ResumeAll();
        return;
      }
      kept = true;
      CONTEXT context;  // reading it waits until the suspension has taken effect
      context.ContextFlags = kFullContext;
      if (GetThreadContext(thread, &context)) ++counted;
    }
    if (thread && !kept) CloseHandle(thread);
    if (counted == 0) break;
  }
  complete_ = true;
}

HeldThreads::~HeldThreads() {
  ResumeAll();
  if (held_) VirtualFree(held_, 0, MEM_RELEASE);
}

void HeldThreads::ResumeAll() {
  for (size_t i = 0; i < count_; ++i) {
    ResumeThread(held_[i].thread);
    CloseHandle(held_[i].thread);
  }
  count_ = 0;
}

bool HeldThreads::Holds(uint32_t id) const {
  for (size_t i = 0; i < count_; ++i) {
    if (held_[i].id == id) return true;
  }
  return false;
}

bool HeldThreads::Add(void* thread, uint32_t id) {
  if (count_ == capacity_) {
    const size_t capacity = capacity_ ? capacity_ * 2 : 4096 / sizeof(Held);
    void* grown =
        VirtualAlloc(nullptr, capacity * sizeof(Held), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!grown) return false;
    if (held_) {
      memcpy(grown, held_, count_ * sizeof(Held));
      VirtualFree(held_, 0, MEM_RELEASE);
    }
    held_ = static_cast<Held*>(grown);
    capacity_ = capacity;
  }
  held_[count_++] = Held{thread, id, 0, 0, false};
  return true;
}

bool HeldThreads::AnyStoppedIn(uintptr_t begin, uintptr_t end) const {
  for (size_t i = 0; i < count_; ++i) {
    CONTEXT registers;
    registers.ContextFlags = CONTEXT_CONTROL;
    if (!GetThreadContext(held_[i].thread, &registers)) return true;
    if (registers.Eip >= begin && registers.Eip < end) return true;
  }
  return false;
}

bool HeldThreads::PlanMoves(MoveRule rule, const void* context) {
  for (size_t i = 0; i < count_; ++i) {
    Held& held = held_[i];
    held.move = false;
    CONTEXT registers;
    registers.ContextFlags = CONTEXT_CONTROL;
    if (!GetThreadContext(held.thread, &registers)) continue;
    held.eip = registers.Eip;
    const IpMove move = rule(held.eip, &held.moved, context);
    if (move == IpMove::Unmappable) return false;
    held.move = move == IpMove::Move;
  }
  return true;
}

bool HeldThreads::ApplyMoves() {
  for (size_t i = 0; i < count_; ++i) {
    if (!held_[i].move || SetInstructionPointer(held_[i].thread, held_[i].moved)) continue;
    for (size_t j = 0; j < i; ++j) {
      if (held_[j].move) SetInstructionPointer(held_[j].thread, held_[j].eip);
    }
    return false;
  }
  return true;
}

}  // namespace inline_hook
