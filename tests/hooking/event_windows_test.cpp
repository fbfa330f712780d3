#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hooking/event.h"
#include "host/game/game_patches.h"
#include "test_code_windows.h"

namespace events {
namespace {

std::vector<std::string> trace;

uintptr_t PlainHost() {
  trace.push_back("host");
  return 0x1234;
}

uintptr_t __attribute__((thiscall)) MemberHost(void* self) {
  trace.push_back("host " + std::to_string(*static_cast<int*>(self)));
  return reinterpret_cast<uintptr_t>(self) + 1;
}

void Before() { trace.push_back("before"); }
void After() { trace.push_back("after"); }
void Other() { trace.push_back("other"); }

template <typename T>
uintptr_t At(T* code) {
  return reinterpret_cast<uintptr_t>(code);
}

std::vector<uint8_t> BytesAt(const void* site, size_t count = 5) {
  const uint8_t* p = static_cast<const uint8_t*>(site);
  return std::vector<uint8_t>(p, p + count);
}

class HookingEvents : public testing::Test {
 protected:
  void SetUp() override {
    trace.clear();
    vt_plain_target = reinterpret_cast<uintptr_t>(&PlainHost);
    vt_member_target = reinterpret_cast<uintptr_t>(&MemberHost);
    vt_indirect_pointer = reinterpret_cast<uintptr_t>(&PlainHost);
  }
};

TEST_F(HookingEvents, BeforeListHostCallAfterListAndTheHostResult) {
  const std::vector<uint8_t> site = BytesAt(vt_plain_site);
  {
    Event<> event({At(vt_plain_site)}, CallContract::Plain);
    EXPECT_TRUE(event.Subscribe(Order::After, After, 0));
    EXPECT_TRUE(event.Subscribe(Order::Before, Before, 0));
    EXPECT_TRUE(event.Subscribe(
        Order::After, [] { trace.push_back("closure"); }, 0));
    EXPECT_NE(BytesAt(vt_plain_site), site);
    EXPECT_EQ(vt_plain_caller(), 0x1234u);
    EXPECT_EQ(trace, (std::vector<std::string>{"before", "host", "after", "closure"}));
  }
  EXPECT_EQ(BytesAt(vt_plain_site), site);
  trace.clear();
  EXPECT_EQ(vt_plain_caller(), 0x1234u);
  EXPECT_EQ(trace, (std::vector<std::string>{"host"}));
}

TEST_F(HookingEvents, MemberCallSitePassesTheObject) {
  const std::vector<uint8_t> site = BytesAt(vt_member_site);
  int ped = 7;
  {
    Event<int*> event({At(vt_member_site)}, CallContract::Member);
    event.Subscribe(
        Order::Before, [](int* p) { trace.push_back("before " + std::to_string(*p)); }, 0);
    event.Subscribe(
        Order::After,
        [&](int* p) {
          EXPECT_EQ(p, &ped);
          trace.push_back("after");
        },
        0);
    EXPECT_EQ(vt_member_caller(&ped), reinterpret_cast<uintptr_t>(&ped) + 1);
    EXPECT_EQ(trace, (std::vector<std::string>{"before 7", "host 7", "after"}));
  }
  EXPECT_EQ(BytesAt(vt_member_site), site);
}

TEST_F(HookingEvents, DuplicateSubscriptions) {
  Event<> event({At(vt_plain_site)}, CallContract::Plain);
  struct Step {
    const char* name;
    Order order;
    void (*routine)();
    int32_t id;
    bool stored;
  };
  const Step steps[] = {
      {"first", Order::Before, Before, 0, true},
      {"same routine, same list", Order::Before, Before, 0, false},
      {"same routine, other list", Order::After, Before, 0, true},
      {"new id", Order::Before, Other, 5, true},
      {"id taken", Order::Before, After, 5, false},
      {"same id, other list", Order::After, After, 5, true},
      {"stored routine under a new id", Order::Before, Before, 6, true},
      {"stored routine with id 0", Order::After, Other, 0, true},
      {"no routine", Order::After, nullptr, 0, false},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(event.Subscribe(step.order, step.routine, step.id), step.stored) << step.name;
  }
  // Closures are never duplicates.
  auto closure = [] { trace.push_back("closure"); };
  EXPECT_TRUE(event.Subscribe(Order::After, closure, 0));
  EXPECT_TRUE(event.Subscribe(Order::After, closure, 0));
  vt_plain_caller();
  EXPECT_EQ(trace, (std::vector<std::string>{"before", "other", "before", "host", "before", "after",
                                             "other", "closure", "closure"}));
}

TEST_F(HookingEvents, RefusedFirstSubscriptionPatchesNothing) {
  const std::vector<uint8_t> site = BytesAt(vt_plain_site);
  Event<> event({At(vt_plain_site)}, CallContract::Plain);
  EXPECT_FALSE(event.Subscribe(Order::Before, nullptr, 0));
  EXPECT_EQ(BytesAt(vt_plain_site), site);
}

TEST_F(HookingEvents, EverySiteGivenAndNoneElse) {
  const std::vector<uint8_t> first = BytesAt(vt_plain_site);
  const std::vector<uint8_t> second = BytesAt(vt_plain_site2);
  {
    Event<> event({At(vt_plain_site2), At(vt_plain_site)}, CallContract::Plain);
    event.Subscribe(Order::After, After, 0);
    vt_plain_caller();
    vt_plain_caller2();
    EXPECT_EQ(trace, (std::vector<std::string>{"host", "after", "host", "after"}));
  }
  EXPECT_EQ(BytesAt(vt_plain_site), first);
  EXPECT_EQ(BytesAt(vt_plain_site2), second);
  trace.clear();
  {
    Event<> nowhere({}, CallContract::Plain);
    EXPECT_TRUE(nowhere.Subscribe(Order::After, After, 0));  // stored, never run
    EXPECT_EQ(BytesAt(vt_plain_site), first);
    vt_plain_caller();
    EXPECT_EQ(trace, (std::vector<std::string>{"host"}));
  }
}

TEST_F(HookingEvents, SecondEventOnASiteRunsOutside) {
  const std::vector<uint8_t> site = BytesAt(vt_plain_site);
  auto inner =
      std::make_unique<Event<>>(std::vector<uintptr_t>{At(vt_plain_site)}, CallContract::Plain);
  auto outer =
      std::make_unique<Event<>>(std::vector<uintptr_t>{At(vt_plain_site)}, CallContract::Plain);
  inner->Subscribe(
      Order::Before, [] { trace.push_back("inner before"); }, 0);
  inner->Subscribe(
      Order::After, [] { trace.push_back("inner after"); }, 0);
  outer->Subscribe(
      Order::Before, [] { trace.push_back("outer before"); }, 0);
  outer->Subscribe(
      Order::After, [] { trace.push_back("outer after"); }, 0);
  EXPECT_EQ(vt_plain_caller(), 0x1234u);
  EXPECT_EQ(trace, (std::vector<std::string>{"outer before", "inner before", "host", "inner after",
                                             "outer after"}));
  inner.reset();  // not the last handle: the site stays patched
  trace.clear();
  vt_plain_caller();
  EXPECT_EQ(trace, (std::vector<std::string>{"outer before", "host", "outer after"}));
  outer.reset();
  EXPECT_EQ(BytesAt(vt_plain_site), site);
}

// Another plug-in's call-site hook, written the plain way: the call is pointed at its own
// routine, which calls what the call called before; taking it out writes back the bytes
// it found, whatever is there by then.
uintptr_t otherSaved = 0;
std::vector<uint8_t> otherFound;

uintptr_t OtherRoutine() {
  trace.push_back("other");
  return reinterpret_cast<uintptr_t (*)()>(otherSaved)();
}

void PlaceOther() {
  otherFound = BytesAt(vt_plain_site);
  otherSaved = memory::MakeCall(At(vt_plain_site), At(OtherRoutine));
}

void RemoveOther() {
  memory::WriteBytes(At(vt_plain_site), otherFound.data(), otherFound.size(), true);
}

// Runs in a process of its own (tests/hooking/CMakeLists.txt): a site left in place keeps
// its stub, and with it the shared allocator, for the rest of the process.
TEST_F(HookingEvents, AnotherPluginsHookOnTheSiteIsKeptInEitherOrder) {
  using Trace = std::vector<std::string>;
  struct Case {
    const char* name;
    bool weFirst;        // placed before the other plug-in
    bool weRemoveFirst;  // taken out before it
    Trace afterFirst;    // one call after the first removal
    bool leftInPlace;    // what our removal reports
    bool bytesBack;      // the site's own bytes once both are out
  };
  const Case cases[] = {
      {"we first, out first", true, true, {"other", "host"}, true, false},
      {"we first, out last", true, false, {"before", "host"}, false, true},
      {"they first, we out first", false, true, {"other", "host"}, false, true},
      {"they first, they out first", false, false, {"host"}, true, true},
  };
  const std::vector<uint8_t> site = BytesAt(vt_plain_site);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Event<> event({At(vt_plain_site)}, CallContract::Plain);
    if (!c.weFirst) PlaceOther();
    event.Subscribe(Order::Before, Before, 0);
    if (c.weFirst) PlaceOther();
    trace.clear();
    vt_plain_caller();
    EXPECT_EQ(trace,
              c.weFirst ? (Trace{"other", "before", "host"}) : (Trace{"before", "other", "host"}));
    bool leftInPlace = false;
    if (c.weRemoveFirst) {
      leftInPlace = event.Unpatch();
    } else {
      RemoveOther();
    }
    trace.clear();
    vt_plain_caller();
    EXPECT_EQ(trace, c.afterFirst);
    if (c.weRemoveFirst) {
      RemoveOther();
    } else {
      leftInPlace = event.Unpatch();
    }
    EXPECT_EQ(leftInPlace, c.leftInPlace);
    trace.clear();
    EXPECT_EQ(vt_plain_caller(), 0x1234u);
    EXPECT_EQ(trace, Trace{"host"});
    EXPECT_EQ(BytesAt(vt_plain_site) == site, c.bytesBack);
    if (!c.bytesBack) memory::WriteBytes(At(vt_plain_site), site.data(), site.size(), true);
  }
}

TEST_F(HookingEvents, OnlyRelativeCallsArePatched) {
  const std::vector<uint8_t> site = BytesAt(vt_indirect_site, 6);
  ASSERT_EQ(site[0], 0xFF);
  Event<> event({At(vt_indirect_site)}, CallContract::Plain);
  event.Subscribe(Order::Before, Before, 0);
  EXPECT_EQ(BytesAt(vt_indirect_site, 6), site);
  EXPECT_EQ(vt_indirect_caller(), 0x1234u);
  EXPECT_EQ(trace, (std::vector<std::string>{"host"}));
}

TEST_F(HookingEvents, SystemEventsPatchOnlyForTheirGameVersions) {
  if (GameVersion() == 1001 || GameVersion() == 1002) GTEST_SKIP() << "a game-like image";
  // The game's call sites are listed for 1001 and 1002 only: nothing is patched here, and
  // the addresses (not part of this program) are never touched.
  auto frame = Subscribe(HostEvent::Frame, EventOrder::After, After, 0);
  auto reset = Subscribe(HostEvent::SecondReset, EventOrder::After, After, 0);
  auto again = Subscribe(HostEvent::SecondReset, EventOrder::After, After, 0);
  auto ped = SubscribePedRemoval(
      EventOrder::Before, [](HostPed*) {}, 0);
  auto wrong = Subscribe(HostEvent::PedRemoval, EventOrder::Before, After, 0);
  EXPECT_TRUE(frame && reset && again && ped && wrong);
  again.reset();
  reset.reset();
  frame.reset();
  ped.reset();
}

}  // namespace
}  // namespace events
