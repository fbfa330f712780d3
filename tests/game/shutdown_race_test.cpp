// The plug-in unloading while a second thread of the game keeps going through its hooked
// routines and call sites: no call may be lost, neither during the unload nor after it,
// and none may run into the library's code once it is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "plugin_case.h"
#include "synthetic_game.h"

namespace synthetic {
namespace {

[[maybe_unused]] const int kUnbufferedOutput = std::setvbuf(stdout, nullptr, _IONBF, 0);

TEST(ShutdownRace, EveryCallReachesTheGameWhileAndAfterThePluginUnloads) {
  SyntheticGame game;
  const Ped& ped = game.AddPed({0, 0, 0}, false);
  GamePed strangerRecord{};
  Ped stranger;  // removal of a ped the game does not pool: no draws to look through
  stranger.game = &strangerRecord;
  GameDamage* record = game.AddDamage(nullptr, 1.0f, 3, 22);
  PluginCase plugin("shutdown_race");
  ASSERT_TRUE(plugin.Load());

  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::thread worker([&] {
    while (!stop) {
      game.Damage(record, nullptr);
      game.Fire(22, ped);
      game.Render(ped);
      game.RemovePed(stranger);
      game.Frame();
      for (int site = 0; site < 3; ++site) game.Reset(site);
      game.RemoveHead(ped);  // the rewritten call, which stays
      ++rounds;
    }
  });
  for (int wait = 0; wait < 100000 && rounds < 20; ++wait) SwitchToThread();
  const bool unloaded = plugin.Unload();
  const int atUnload = rounds;
  for (int wait = 0; wait < 100000 && rounds < atUnload + 20; ++wait) SwitchToThread();
  stop = true;
  worker.join();

  EXPECT_TRUE(unloaded);
  EXPECT_GE(rounds - atUnload, 20);
  const int n = rounds;
  EXPECT_EQ(game.damageCalls, n);
  EXPECT_EQ(game.fireCalls, n);
  EXPECT_EQ(game.renderCalls, n);
  EXPECT_EQ(game.removeCalls, n);
  EXPECT_EQ(game.frameCalls, n);
  for (int site = 0; site < 3; ++site) EXPECT_EQ(game.resetCalls[site], n) << site;
  EXPECT_EQ(game.headRemovals, 0);
  EXPECT_EQ(SyntheticGame::ReadCode().hookTargets[0][0], 0x55);  // restored
}

}  // namespace
}  // namespace synthetic
