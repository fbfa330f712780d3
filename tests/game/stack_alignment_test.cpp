// The game calls the system with the stack aligned to 4 bytes only. Every entry the game
// reaches (the three hooked routines, the five call sites, the head call and the mesh
// callbacks) is called here with the stack pointer at each 4-byte offset modulo 16 and
// must do its work; an aligned SSE access on a misaligned frame would crash the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin_case.h"
#include "synthetic_game.h"

namespace synthetic {
namespace {

namespace ga = game_address;

uint32_t Word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

uint32_t Call(uintptr_t address, uint32_t offset, const void* ecx = nullptr,
              std::vector<uint32_t> args = {}) {
  return CallWithStackAt(address, Word(ecx), args.data(), static_cast<uint32_t>(args.size()),
                         offset);
}

size_t LinesWith(const PluginCase& plugin, const std::string& text) {
  const std::vector<std::string> lines = plugin.LogLines();
  return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.find(text) != std::string::npos;
  });
}

TEST(SyntheticGame, EveryEntryWorksWithTheStackAtAnyFourByteOffset) {
  SyntheticGame game;
  Ped& player = game.AddPed({0, 4, 0}, false);
  game.SetPlayer(player);
  PluginCase plugin("stack");
  ASSERT_TRUE(plugin.Load());
  const uintptr_t resets[3] = {ga::kFirstResetCall, ga::kSecondResetCallA, ga::kSecondResetCallB};
  int32_t pistol[8] = {22};

  for (uint32_t offset = 0; offset < 16; offset += 4) {
    SCOPED_TRACE(offset);
    game.callbackStackOffset = offset;
    Ped& target = game.AddPed({0, 0, 0}, false);
    game.AimAt(game.BonePosition(target, 3));
    EXPECT_EQ(Call(ga::kFireRoutine, offset, pistol, {Word(player.game), 2, 3, 4, 5, 6}) & 0xFF,
              1u);
    GameDamage* damage = game.AddDamage(reinterpret_cast<HostEntity*>(player.game), 25, 3, 22);
    Call(ga::kDamageRoutine, offset, damage, {Word(target.game), 1, 2});
    EXPECT_EQ(LinesWith(plugin, "shot w22 x1"), offset / 4 + 1);
    EXPECT_EQ(LinesWith(plugin, ": wound 1, ray hit mesh"), offset / 4 + 1);

    for (int frame = 0; frame < 5; ++frame) {  // repaints the flowing wound
      EXPECT_EQ(Call(ga::kFrameCall - 8, offset), 0x5EED0002u);
    }
    const size_t firstDraw = game.draws.size();
    Call(ga::kPedRender, offset, target.game);
    EXPECT_GT(game.draws.size() - firstDraw, target.meshes.size());  // blood drawn

    Call(ga::kHeadRemovalCall - 8, offset, nullptr, {Word(target.game)});
    EXPECT_EQ(game.headRemovals, 0);
    EXPECT_EQ(Call(ga::kPedRemovalCall - 8, offset, nullptr, {Word(target.game)}), 0x5EED0001u);
    EXPECT_FALSE(game.removedPedHadTextures);
    for (uintptr_t reset : resets) EXPECT_EQ(Call(reset - 8, offset), 0x5EED0003u);
  }
  EXPECT_EQ(game.fireCalls + game.damageCalls + game.renderCalls + game.removeCalls, 16);
  EXPECT_EQ(game.frameCalls, 20);
  EXPECT_EQ(game.LiveBloodTextures(), 0);
  EXPECT_TRUE(plugin.Unload());
}

}  // namespace
}  // namespace synthetic
