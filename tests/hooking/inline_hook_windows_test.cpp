#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hooking/branch_target.h"
#include "hooking/inline_hook.h"
#include "hooking/process_memory.h"
#include "host/game/game_patches.h"
#include "test_code_windows.h"

namespace inline_hook {
namespace {

template <typename T>
uintptr_t At(T* code) {
  return reinterpret_cast<uintptr_t>(code);
}

std::vector<uint8_t> BytesAt(uintptr_t address, size_t count) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(address);
  return std::vector<uint8_t>(p, p + count);
}

bool RegionFree(uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  return VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof(info)) != 0 &&
         info.State == MEM_FREE;
}

int TimesHundred(int x) { return x * 100; }
int __attribute__((fastcall)) Negate(int x) { return -x; }

TEST(HookingInlineHook, DisplacesWholeInstructionsAndRestoresThem) {
  struct Case {
    const char* name;
    uintptr_t target;
    size_t displaced;
    int argument;
    int original;
  };
  const Case cases[] = {
      {"five one-byte instructions", At(vt_five_singles), 5, 4, 5},
      {"3-byte and 4-byte instructions", At(vt_three_four), 7, 4, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> before = BytesAt(c.target, 16);
    InlineHook hook = InlineHook::Create(c.target, At(TimesHundred));
    ASSERT_TRUE(hook.Installed());
    EXPECT_EQ(hook.DisplacedBytes(),
              std::vector<uint8_t>(before.begin(), before.begin() + c.displaced));

    const std::vector<uint8_t> patched = BytesAt(c.target, 16);
    EXPECT_EQ(patched[0], 0xE9);
    for (size_t i = 5; i < c.displaced; ++i) EXPECT_EQ(patched[i], 0x90) << i;
    EXPECT_TRUE(
        std::equal(patched.begin() + c.displaced, patched.end(), before.begin() + c.displaced));
    // E9 leads to the trampoline's last jump, which leads to the destination.
    const uintptr_t onward = memory::BranchTarget(c.target);
    EXPECT_EQ(onward, hook.Trampoline() + c.displaced + 5);
    EXPECT_EQ(memory::BranchTarget(onward), At(TimesHundred));

    auto target = reinterpret_cast<int (*)(int)>(c.target);
    auto original = reinterpret_cast<int (*)(int)>(hook.Trampoline());
    EXPECT_EQ(target(c.argument), c.argument * 100);
    EXPECT_EQ(original(c.argument), c.original);

    hook.Destroy();
    EXPECT_FALSE(hook.Installed());
    EXPECT_EQ(hook.Trampoline(), 0u);
    EXPECT_EQ(BytesAt(c.target, 16), before);
    EXPECT_EQ(target(c.argument), c.original);
    hook.Destroy();  // empty: nothing happens
    EXPECT_EQ(BytesAt(c.target, 16), before);
  }
}

TEST(HookingInlineHook, ShortBranchesStillReachTheirTargets) {
  using Routine = int(__attribute__((fastcall))*)(int);
  struct Case {
    const char* name;
    Routine routine;
    std::vector<std::pair<int, int>> calls;  // argument, original result
  };
  const Case cases[] = {
      {"jz past the displaced bytes", vt_short_jz, {{0, 42}, {5, 6}}},
      {"jnz back into the displaced bytes", vt_loop_back, {{1, 1}, {3, 3}, {50, 50}}},
      {"jz to code in front of the target", vt_jz_back, {{0, 7}, {4, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> before = BytesAt(At(c.routine), 8);
    InlineHook hook = InlineHook::Create(At(c.routine), At(Negate));
    ASSERT_TRUE(hook.Installed());
    // The widened conditional branch: 0F 8x rel32 after the 2-byte test or the 4 bytes in front.
    const uint8_t* trampoline = reinterpret_cast<const uint8_t*>(hook.Trampoline());
    const size_t jcc = c.routine == vt_loop_back ? 4 : 2;
    EXPECT_EQ(trampoline[jcc], 0x0F);
    EXPECT_EQ(trampoline[jcc + 1], before[jcc] + 0x10);
    auto original = reinterpret_cast<Routine>(hook.Trampoline());
    for (const auto& call : c.calls) {
      EXPECT_EQ(c.routine(call.first), -call.first);
      EXPECT_EQ(original(call.first), call.second) << call.first;
    }
    hook.Destroy();
    EXPECT_EQ(BytesAt(At(c.routine), 8), before);
  }
}

// Thunks with the game routines' contracts, calling the original through the trampoline
// under the hook's lock and recording after it, as the game build's thunks do.
GameHook* damageHook;
GameHook* fireHook;
GameHook* renderHook;
std::vector<uint32_t> handled;

void __attribute__((thiscall)) DamageThunk(uint32_t* object, uint32_t a, uint32_t b, uint32_t c) {
  damageHook->Lock();
  if (damageHook->Installed()) {
    using Original = void(__attribute__((thiscall))*)(uint32_t*, uint32_t, uint32_t, uint32_t);
    reinterpret_cast<Original>(damageHook->Trampoline())(object, a, b, c);
  }
  damageHook->Unlock();
  handled.push_back(*object);
}

uint8_t __attribute__((thiscall)) FireThunk(uint32_t* object, uint32_t a1, uint32_t a2, uint32_t a3,
                                            uint32_t a4, uint32_t a5, uint32_t a6) {
  uint8_t result = 0;
  fireHook->Lock();
  if (fireHook->Installed()) {
    using Original = uint8_t(__attribute__((thiscall))*)(uint32_t*, uint32_t, uint32_t, uint32_t,
                                                         uint32_t, uint32_t, uint32_t);
    result = reinterpret_cast<Original>(fireHook->Trampoline())(object, a1, a2, a3, a4, a5, a6);
  }
  fireHook->Unlock();
  handled.push_back(result);
  return result;
}

void __attribute__((thiscall)) RenderThunk(uint32_t* object) {
  renderHook->Lock();
  if (renderHook->Installed()) {
    using Original = void(__attribute__((thiscall))*)(uint32_t*);
    reinterpret_cast<Original>(renderHook->Trampoline())(object);
  }
  renderHook->Unlock();
  handled.push_back(*object);
}

TEST(HookingInlineHook, GameRoutineContractsThroughTheTrampoline) {
  auto damage = PlaceGameHook(At(vt_damage_like), At(DamageThunk));
  auto fire = PlaceGameHook(At(vt_fire_like), At(FireThunk));
  auto render = PlaceGameHook(At(vt_render_like), At(RenderThunk));
  damageHook = damage.get();
  fireHook = fire.get();
  renderHook = render.get();
  ASSERT_TRUE(damage->Installed() && fire->Installed() && render->Installed());
  handled.clear();

  uint32_t object = 0;
  const uint32_t three[] = {1, 20, 300};
  vt_call_counted(reinterpret_cast<const void*>(vt_damage_like), &object, 3, three);
  EXPECT_EQ(vt_stack_left, 0u);
  EXPECT_EQ(object, 321u);

  object = 0x100;  // the byte result drops the carry
  const uint32_t six[] = {1, 2, 3, 4, 5, 0xF0};
  const uint32_t fired =
      vt_call_counted(reinterpret_cast<const void*>(vt_fire_like), &object, 6, six);
  EXPECT_EQ(vt_stack_left, 0u);
  EXPECT_EQ(fired & 0xFF, 0xFFu);

  object = 41;
  vt_call_counted(reinterpret_cast<const void*>(vt_render_like), &object, 0, nullptr);
  EXPECT_EQ(vt_stack_left, 0u);
  EXPECT_EQ(object, 42u);
  EXPECT_EQ(handled, (std::vector<uint32_t>{321, 0xFF, 42}));  // each after its original

  const std::vector<uint8_t> damageBytes =
      damage->Installed() ? BytesAt(At(vt_damage_like), 1) : std::vector<uint8_t>();
  EXPECT_EQ(damageBytes, std::vector<uint8_t>{0xE9});
  render.reset();
  damage.reset();
  fire.reset();
  EXPECT_EQ(BytesAt(At(vt_damage_like), 6),
            (std::vector<uint8_t>{0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08}));
  EXPECT_EQ(BytesAt(At(vt_fire_like), 5), (std::vector<uint8_t>{0x55, 0x8B, 0xEC, 0x8B, 0x01}));
  EXPECT_EQ(BytesAt(At(vt_render_like), 5), (std::vector<uint8_t>{0x83, 0xEC, 0x08, 0xFF, 0x01}));
}

TEST(HookingInlineHook, FailuresLeaveTheTargetUntouched) {
  // A routine whose first instruction jumps to the top of the 4 GB space: no memory below
  // the 2 GB line reaches both it and its routine.
  uint8_t* distant = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ));
  ASSERT_NE(distant, nullptr);
  uint8_t code[8] = {0xE9, 0, 0, 0, 0, 0x90, 0x90, 0xC3};
  memory::StoreWord(code + 1, uint32_t(0xFFFF0000u - (At(distant) + 5)));
  ASSERT_TRUE(memory::WriteCode(At(distant), code, sizeof(code)));
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_EXECUTE_READWRITE);

  struct Case {
    const char* name;
    uintptr_t target;
  };
  const Case cases[] = {
      {"jecxz", At(vt_jecxz)},
      {"no memory within reach", At(distant)},
      {"memory not committed", At(reserved)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool readable = c.target != At(reserved);
    const std::vector<uint8_t> before = readable ? BytesAt(c.target, 8) : std::vector<uint8_t>();
    auto hook = PlaceGameHook(c.target, At(TimesHundred));
    ASSERT_NE(hook, nullptr);
    EXPECT_FALSE(hook->Installed());
    EXPECT_EQ(hook->Trampoline(), 0u);
    if (readable) {
      EXPECT_EQ(BytesAt(c.target, 8), before);
    }
  }
  VirtualFree(distant, 0, MEM_RELEASE);
  VirtualFree(reserved, 0, MEM_RELEASE);
}

TEST(HookingInlineHook, MoveAssignmentHandsOverTheInstallation) {
  const std::vector<uint8_t> first = BytesAt(At(vt_five_singles), 8);
  const std::vector<uint8_t> second = BytesAt(At(vt_three_four), 8);
  InlineHook a = InlineHook::Create(At(vt_five_singles), At(TimesHundred));
  InlineHook b = InlineHook::Create(At(vt_three_four), At(TimesHundred));
  ASSERT_TRUE(a.Installed() && b.Installed());
  const uintptr_t trampoline = b.Trampoline();

  a = std::move(b);
  EXPECT_EQ(BytesAt(At(vt_five_singles), 8), first);  // a's own hook went first
  EXPECT_FALSE(b.Installed());
  EXPECT_EQ(b.Target(), 0u);
  EXPECT_TRUE(b.DisplacedBytes().empty());
  EXPECT_TRUE(a.Installed());
  EXPECT_EQ(a.Target(), At(vt_three_four));
  EXPECT_EQ(a.Trampoline(), trampoline);
  EXPECT_EQ(vt_three_four(1), 100);
  EXPECT_EQ(reinterpret_cast<int (*)(int)>(a.Trampoline())(1), 3);

  InlineHook& self = a;
  a = std::move(self);
  EXPECT_TRUE(a.Installed());

  b = std::move(a);
  a.Destroy();  // empty now
  EXPECT_EQ(vt_three_four(1), 100);
  b.Destroy();
  EXPECT_EQ(BytesAt(At(vt_three_four), 8), second);
}

TEST(HookingInlineHook, AllocatorReleasedAfterTheLastHook) {
  InlineHook a = InlineHook::Create(At(vt_five_singles), At(TimesHundred));
  InlineHook b = InlineHook::Create(At(vt_three_four), At(TimesHundred));
  ASSERT_TRUE(a.Installed() && b.Installed());
  const uintptr_t block = a.Trampoline();
  EXPECT_EQ(b.Trampoline(), a.Trampoline() + 15);  // first fit, right behind a's trampoline
  a.Destroy();
  EXPECT_FALSE(RegionFree(block));
  InlineHook c = InlineHook::Create(At(vt_five_singles), At(TimesHundred));
  EXPECT_EQ(c.Trampoline(), block);  // a's range is free again
  c.Destroy();
  b.Destroy();
  EXPECT_TRUE(RegionFree(block));
}

// A target called over and over by another thread while hooks come and go.
InlineHook busyHook;
std::atomic<uint32_t> busyThunked{0};
std::atomic<uint32_t> busySkipped{0};

void BusyThunk() {
  ++busyThunked;
  std::lock_guard<std::recursive_mutex> hold(busyHook.Lock());
  if (busyHook.Installed()) {
    reinterpret_cast<void (*)()>(busyHook.Trampoline())();
  } else {
    ++busySkipped;  // removed while this call was on its way
  }
}

TEST(HookingInlineHook, PlacedAndRemovedWhileAnotherThreadCalls) {
  const std::vector<uint8_t> before = BytesAt(At(vt_busy), 12);
  vt_busy_count = 0;
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> calls{0};
  std::thread worker([&] {
    while (!stop) {
      vt_busy();
      ++calls;
    }
  });
  for (int wait = 0; wait < 10000 && calls == 0; ++wait) Sleep(1);
  int installed = 0;
  int restored = 0;
  for (int round = 0; round < 100; ++round) {
    busyHook = InlineHook::Create(At(vt_busy), At(BusyThunk));
    installed += busyHook.Installed();
    // Until the worker has come through the hook at least once.
    const uint32_t seen = busyThunked;
    for (int spin = 0; spin < 100000 && busyThunked == seen; ++spin) SwitchToThread();
    busyHook.Destroy();
    restored += BytesAt(At(vt_busy), 12) == before;
  }
  stop = true;
  worker.join();
  EXPECT_EQ(installed, 100);
  EXPECT_EQ(restored, 100);
  EXPECT_GT(busyThunked.load(), 0u);
  EXPECT_EQ(vt_busy_count + busySkipped,
            calls.load());  // each call ran the original or was skipped
}

// Two plug-ins hooking one routine with this engine. Seen from either of them, the two cases
// are "we first / they first" with either taken out first. Runs in a process of its own
// (tests/hooking/CMakeLists.txt): the hook left in place keeps the shared allocator alive.
InlineHook lowerHook;  // placed first
InlineHook upperHook;  // placed over it
std::string trail;

int LowerThunk(int x) {
  trail += "lower ";
  return reinterpret_cast<int (*)(int)>(lowerHook.Trampoline())(x);
}

int UpperThunk(int x) {
  trail += "upper ";
  return reinterpret_cast<int (*)(int)>(upperHook.Trampoline())(x);
}

TEST(HookingInlineHook, AHookPlacedOverAnotherKeepsBothWorkingInEitherRemovalOrder) {
  const uintptr_t target = At(vt_five_singles);
  const std::vector<uint8_t> before = BytesAt(target, 8);
  auto call = [&] {
    trail.clear();
    EXPECT_EQ(vt_five_singles(4), 5);
    return trail;
  };
  for (const bool lowerFirst : {false, true}) {
    SCOPED_TRACE(lowerFirst ? "the lower hook removed first" : "the upper hook removed first");
    lowerHook = InlineHook::Create(target, At(LowerThunk));
    const std::vector<uint8_t> lowerPatch = BytesAt(target, 8);
    upperHook = InlineHook::Create(target, At(UpperThunk));
    ASSERT_TRUE(lowerHook.Installed() && upperHook.Installed());
    EXPECT_EQ(call(), "upper lower ");
    if (lowerFirst) {
      EXPECT_EQ(lowerHook.Destroy(), memory::Removal::LeftInPlace);
      EXPECT_EQ(call(), "upper ");
      EXPECT_EQ(upperHook.Destroy(), memory::Removal::Restored);
      EXPECT_EQ(BytesAt(target, 8), lowerPatch);  // the lower hook's pass-through stays
    } else {
      EXPECT_EQ(upperHook.Destroy(), memory::Removal::Restored);
      EXPECT_EQ(call(), "lower ");
      EXPECT_EQ(lowerHook.Destroy(), memory::Removal::Restored);
      EXPECT_EQ(BytesAt(target, 8), before);
    }
    EXPECT_EQ(call(), "");
  }
}

// Runs in a process of its own (tests/hooking/CMakeLists.txt): the trampoline it leaves
// behind keeps the shared allocator alive.
TEST(HookingInlineHook, TrampolineStaysWhenTheTargetCannotBeRestored) {
  uint8_t* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(page, nullptr);
  std::memcpy(page, reinterpret_cast<const void*>(At(vt_five_singles)), 16);
  InlineHook hook = InlineHook::Create(At(page), At(TimesHundred));
  ASSERT_TRUE(hook.Installed());
  const uintptr_t trampoline = hook.Trampoline();
  ASSERT_TRUE(VirtualFree(page, 4096, MEM_DECOMMIT));
  hook.Destroy();
  EXPECT_FALSE(hook.Installed());
  MEMORY_BASIC_INFORMATION info;
  ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(trampoline), &info, sizeof(info)), 0u);
  EXPECT_EQ(info.State, DWORD(MEM_COMMIT));
  VirtualFree(page, 0, MEM_RELEASE);
}

// Runs in a process of its own, like the test above. The target lies in a view of a
// section: hooked through a writable view, then seen through one that can never be made
// writable, at the same address.
std::atomic<int> unloadedEntries{0};
void UnloadedThunk() { ++unloadedEntries; }

TEST(HookingInlineHook, UnrestorableTargetRunsTheOriginalNotTheDestination) {
  HANDLE section =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0, 4096, nullptr);
  ASSERT_NE(section, nullptr);
  void* view = MapViewOfFile(section, FILE_MAP_WRITE | FILE_MAP_EXECUTE, 0, 0, 4096);
  ASSERT_NE(view, nullptr);
  std::memcpy(view, reinterpret_cast<const void*>(At(vt_busy)), 16);
  auto target = reinterpret_cast<void (*)()>(view);
  InlineHook hook = InlineHook::Create(At(view), At(UnloadedThunk));
  ASSERT_TRUE(hook.Installed());
  ASSERT_TRUE(UnmapViewOfFile(view));
  ASSERT_EQ(MapViewOfFileEx(section, FILE_MAP_READ | FILE_MAP_EXECUTE, 0, 0, 4096, view), view);
  DWORD old;
  ASSERT_FALSE(VirtualProtect(view, 16, PAGE_EXECUTE_READWRITE, &old));

  hook.Destroy();
  EXPECT_FALSE(hook.Installed());
  EXPECT_EQ(BytesAt(At(view), 1), std::vector<uint8_t>{0xE9});  // still leads away
  const uint32_t before = vt_busy_count;
  target();
  EXPECT_EQ(vt_busy_count, before + 1);
  EXPECT_EQ(unloadedEntries, 0);
  UnmapViewOfFile(view);
  CloseHandle(section);
}

}  // namespace
}  // namespace inline_hook
