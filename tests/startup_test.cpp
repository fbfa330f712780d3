// Start-up and shutdown of the plug-in object on the simulated host.
#include <string>
#include <vector>

#include "core/log.h"
#include "damage/hit_history.h"
#include "plugin/system_state.h"
#include "support/sim_fixture.h"
#include "wounds/blood_state.h"

namespace {

constexpr int kDamage = static_cast<int>(HookSite::Damage);
constexpr int kFire = static_cast<int>(HookSite::Fire);
constexpr int kRender = static_cast<int>(HookSite::Render);

class Startup : public SimTest {
 protected:
  bool AllHooked() const { return sim.hooked[kDamage] && sim.hooked[kFire] && sim.hooked[kRender]; }
  bool NoneHooked() const {
    return !sim.hooked[kDamage] && !sim.hooked[kFire] && !sim.hooked[kRender];
  }
  bool AllPatched() const {
    return sim.eventPatched[0] && sim.eventPatched[1] && sim.eventPatched[2] && sim.eventPatched[3];
  }
  bool NonePatched() const {
    return !sim.eventPatched[0] && !sim.eventPatched[1] && !sim.eventPatched[2] &&
           !sim.eventPatched[3];
  }
  int ShotLines() const {
    int count = 0;
    for (const std::string& line : ReadLogLines()) count += line.rfind("shot w", 0) == 0;
    return count;
  }
};

TEST_F(Startup, SupportedVersionsInstallEverythingInOrder) {
  for (int version : {1001, 1002}) {
    SCOPED_TRACE(version);
    NewProcess();  // shutdown restores all but the head patch
    sim.headPatched = false;
    sim.version = version;
    Start();
    EXPECT_EQ(State().host, &sim);
    EXPECT_TRUE(AllHooked());
    EXPECT_TRUE(AllPatched());
    EXPECT_TRUE(sim.headPatched);
    EXPECT_EQ(State().rng.state, 12345u ^ kTicks);
    EXPECT_EQ(State().events.size(), 4u);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(ReadLogLines(), (std::vector<std::string>{
                                  "Vermiltrace loaded",
                                  "damage hook installed, fire hook installed",
                                  "render hook installed",
                              }));
  }
}

TEST_F(Startup, RefusedVersionsShowOneBoxAndTouchNothing) {
  for (int version : {0, 1000, 1003, -1, 2001}) {
    SCOPED_TRACE(version);
    NewProcess();
    sim.version = version;
    WriteIni("[Blood]\nMaskSize=300\n");
    Start();
    ASSERT_EQ(MessageBoxes().size(), 1u);
    const MessageBoxRecord& box = MessageBoxes()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text,
              "Vermiltrace needs GTA San Andreas 1.0 US (original or downgraded).\nThis version "
              "isn't supported, so the mod is turned off.");
    EXPECT_EQ(box.caption, "Vermiltrace");
    EXPECT_EQ(box.style, 0x30u);
    EXPECT_EQ(Config().MaskSize, 300);  // read before the gate
    EXPECT_FALSE(LogExists());
    EXPECT_FALSE(LogOpen());
    EXPECT_EQ(State().rng.state, 12345u);
    EXPECT_TRUE(NoneHooked());
    EXPECT_FALSE(sim.headPatched);
    EXPECT_TRUE(NonePatched());
    EXPECT_TRUE(State().events.empty());
    EXPECT_FALSE(State().damageHook || State().fireHook || State().renderHook);
    Stop();
    EXPECT_TRUE(NoneHooked());
  }
}

TEST_F(Startup, LogOffLeavesAnExistingLogUntouchedAndStillInstalls) {
  WriteFile("Vermiltrace.log", "an earlier run\r\n");
  WriteIni("[Blood]\nLog=0\n");
  Start();
  EXPECT_EQ(ReadLogBytes(), "an earlier run\r\n");
  EXPECT_FALSE(LogOpen());
  EXPECT_TRUE(AllHooked());
  EXPECT_TRUE(AllPatched());
}

TEST_F(Startup, KeepHeadOnHeadshotRewritesTheCallUnlessZeroOrNotANumber) {
  const struct {
    const char* ini;
    bool patched;
  } cases[] = {
      {"[Blood]\nKeepHeadOnHeadshot=0\n", false},    {"[Blood]\nKeepHeadOnHeadshot=off\n", false},
      {"[Blood]\nKeepHeadOnHeadshot= 00 \n", false}, {"[Blood]\n", true},
      {"[Other]\nKeepHeadOnHeadshot=0\n", true},     {"[Blood]\nKeepHeadOnHeadshot=\n", true},
      {"[Blood]\nKeepHeadOnHeadshot=2\n", true},     {"[Blood]\nKeepHeadOnHeadshot=-1\n", true},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.ini);
    NewProcess();
    sim.headPatched = false;
    WriteIni(test.ini);
    Start();
    EXPECT_EQ(sim.headPatched, test.patched);
    Stop();
    EXPECT_EQ(sim.headPatched, test.patched);  // never undone
  }
}

TEST_F(Startup, FailedHooksAreLoggedAndTheOthersStillWork) {
  sim.failHook[kRender] = true;
  Start();
  EXPECT_EQ(ReadLogLines(), (std::vector<std::string>{
                                "Vermiltrace loaded",
                                "damage hook installed, fire hook installed",
                                "render hook FAILED",
                            }));
  HostPed* player = sim.AddPed({0, 0, 0});
  sim.player = player;
  HostPed* victim = sim.AddPed({0, 5, 0});
  sim.GameDamage(sim.AddDamage(AsEntity(player), 10.0f, 3, 22), AsEntity(victim));
  EXPECT_EQ(sim.damageRoutineCalls, 1);
  EXPECT_EQ(sim.Sim(victim)->health, 90.0f);
  EXPECT_NE(FindHitRecord(State().hits, victim), nullptr);  // the handler ran after the routine
  EXPECT_EQ(sim.GameFire(sim.AddWeapon(22), player), 1);
  EXPECT_EQ(ShotLines(), 1);

  NewProcess();
  sim.failHook = {true, true, false};
  sim.damageRoutineCalls = sim.fireRoutineCalls = 0;
  Start();
  EXPECT_EQ(ReadLogLines()[1], "damage hook FAILED, fire hook FAILED");
  EXPECT_EQ(ReadLogLines()[2], "render hook installed");
  // A thunk reached with an empty hook skips the routine; the fire result is then 0.
  HostPed* shooter = sim.AddPed({0, 0, 0});
  sim.player = shooter;
  DamageThunk(nullptr, nullptr, 0, 0);
  EXPECT_EQ(sim.damageRoutineCalls, 0);
  EXPECT_EQ(FireThunk(sim.AddWeapon(22), FireArgs{shooter, {}}), 0);
  EXPECT_EQ(sim.fireRoutineCalls, 0);
  EXPECT_EQ(ShotLines(), 0);
}

TEST_F(Startup, FireThunkShootsCorpsesOnlyForThePlayersFiredBullets) {
  Start();
  HostPed* player = sim.AddPed({0, 0, 0});
  HostPed* other = sim.AddPed({3, 0, 0});
  sim.player = player;
  const struct {
    int32_t code;
    HostPed* shooter;
    uint8_t result;
    bool shoots;
  } cases[] = {
      {22, player, 1, true},  {34, player, 1, true},  {38, player, 1, true},
      {52, player, 7, true},  {21, player, 1, false}, {35, player, 1, false},
      {37, player, 1, false}, {39, player, 1, false}, {51, player, 1, false},
      {22, player, 0, false}, {22, other, 1, false},  {38, nullptr, 1, false},
  };
  int expectedLines = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.code);
    sim.fireResult = test.result;
    EXPECT_EQ(sim.GameFire(sim.AddWeapon(test.code), test.shooter), test.result);
    expectedLines += test.shoots;
    EXPECT_EQ(ShotLines(), expectedLines);
  }
  sim.player = nullptr;  // no player: nothing to compare the shooter with
  sim.fireResult = 1;
  sim.GameFire(sim.AddWeapon(22), player);
  EXPECT_EQ(ShotLines(), expectedLines);
}

TEST_F(Startup, CallbacksSitInTheirListsAroundTheHostsCall) {
  Start();
  using Entry = SimHost::EventEntry;
  const SimHost::EventLists& removal = sim.events[static_cast<int>(HostEvent::PedRemoval)];
  ASSERT_EQ(removal.before.size(), 1u);
  EXPECT_EQ(removal.before[0].ped, &OnPedRemoved);
  EXPECT_EQ(removal.before[0].id, 0);
  EXPECT_TRUE(removal.after.empty());
  for (HostEvent event : {HostEvent::FirstReset, HostEvent::SecondReset, HostEvent::Frame}) {
    const SimHost::EventLists& lists = sim.events[static_cast<int>(event)];
    EXPECT_TRUE(lists.before.empty());
    ASSERT_EQ(lists.after.size(), 1u);
    const Entry& entry = lists.after[0];
    EXPECT_EQ(entry.plain, event == HostEvent::Frame ? &OnFrame : &OnGameReset);
    EXPECT_EQ(entry.id, 0);
  }
  // The removal callback sees the ped: its blood, hit history and corpse time go with it.
  HostPed* ped = sim.AddPed({0, 0, 0});
  FindOrCreateBloodState(Context(), ped);
  FindOrCreateHitRecord(State().hits, ped);
  State().tables.corpseDeathTimes[ped] = 1.0f;
  sim.GameRemovePed(ped);
  EXPECT_EQ(FindBloodState(State().tables, ped), nullptr);
  EXPECT_EQ(FindHitRecord(State().hits, ped), nullptr);
  EXPECT_EQ(State().tables.corpseDeathTimes.count(ped), 0u);
}

TEST_F(Startup, ShutdownRestoresCallSitesAndHooksButKeepsTheHeadPatch) {
  Start();
  State().scratch.bones.resize(40);
  State().pass.savedTextures.resize(8);
  State().pass.savedColours.resize(8);
  HostPed* ped = sim.AddPed({0, 0, 0});
  MaskLayer layer;
  layer.texture = sim.CreateTexture(sim.CreateSurface(4, 4, 32, 0));
  FindOrCreateBloodState(Context(), ped).layers.push_back(layer);
  State().tables.corpseDeathTimes[ped] = 1.0f;
  FindOrCreateHitRecord(State().hits, ped);

  Stop();
  EXPECT_TRUE(NoneHooked());
  EXPECT_TRUE(NonePatched());
  for (const SimHost::EventLists& lists : sim.events) {
    EXPECT_EQ(lists.subscriptions, 0);
    EXPECT_TRUE(lists.before.empty() && lists.after.empty());
  }
  EXPECT_TRUE(sim.headPatched);
  EXPECT_TRUE(State().events.empty());
  EXPECT_FALSE(State().damageHook || State().fireHook || State().renderHook);
  EXPECT_EQ(State().scratch.bones.capacity(), 0u);
  EXPECT_EQ(State().pass.savedTextures.capacity(), 0u);
  EXPECT_EQ(State().pass.savedColours.capacity(), 0u);
  EXPECT_TRUE(State().tables.bloodStates.empty() && State().tables.corpseDeathTimes.empty() &&
              State().hits.records.empty() && State().tables.bloodGeometryCache.empty());
  EXPECT_EQ(sim.TexturesReleased(), 0);  // memory only at shutdown
  // The game goes on without the system.
  sim.GameFrame();
  sim.GameRenderPed(ped);
  EXPECT_EQ(sim.renderRoutineCalls, 1);
}

}  // namespace
