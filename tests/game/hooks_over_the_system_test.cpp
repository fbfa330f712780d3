// Another plug-in hooking the game's damage routine and frame call over the system's hooks,
// and staying after the system unloads: both keep working, the game's calls still arrive,
// and the system's log says why its hooks stayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hooking/inline_hook.h"
#include "hooking/process_memory.h"
#include "plugin_case.h"
#include "synthetic_game.h"

namespace synthetic {
namespace {

namespace ga = game_address;

inline_hook::InlineHook otherDamageHook;
int otherDamages = 0;
uintptr_t otherFrameSaved = 0;
int otherFrames = 0;

void __attribute__((thiscall))
OtherDamage(GameDamage* record, HostEntity* entity, uint32_t a, uint32_t b) {
  ++otherDamages;
  using Fn = void(__attribute__((thiscall))*)(GameDamage*, HostEntity*, uint32_t, uint32_t);
  reinterpret_cast<Fn>(otherDamageHook.Trampoline())(record, entity, a, b);
}

uintptr_t OtherFrame() {
  ++otherFrames;
  return reinterpret_cast<uintptr_t (*)()>(otherFrameSaved)();
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(HooksOverTheSystem, StayWorkingWhenTheSystemUnloadsFirst) {
  SyntheticGame game;
  GameDamage* record = game.AddDamage(nullptr, 1.0f, 3, 22);
  PluginCase plugin("hooks_over");
  ASSERT_TRUE(plugin.Load());
  otherDamageHook = inline_hook::InlineHook::Create(ga::kDamageRoutine,
                                                    reinterpret_cast<uintptr_t>(&OtherDamage));
  ASSERT_TRUE(otherDamageHook.Installed());
  const uint8_t* frameCall = reinterpret_cast<const uint8_t*>(ga::kFrameCall);
  const std::vector<uint8_t> systemsFrameCall(frameCall, frameCall + 5);
  otherFrameSaved = memory::MakeCall(ga::kFrameCall, reinterpret_cast<uintptr_t>(&OtherFrame));

  ASSERT_TRUE(plugin.Unload());
  const std::vector<std::string> lines = plugin.LogLines();
  EXPECT_TRUE(HasLine(lines, "damage hook: left in place, another hook was placed over it"));
  EXPECT_TRUE(HasLine(lines, "frame event hook: left in place, another hook was placed over it"));
  EXPECT_FALSE(HasLine(lines, "fire hook: left in place, another hook was placed over it"));
  game.Damage(record, nullptr);
  EXPECT_EQ(game.Frame(), reinterpret_cast<void*>(0x5EED0002));
  EXPECT_EQ(otherDamages, 1);
  EXPECT_EQ(otherFrames, 1);

  // The other plug-in goes too, writing back what it found.
  EXPECT_EQ(otherDamageHook.Destroy(), memory::Removal::Restored);
  memory::WriteBytes(ga::kFrameCall, systemsFrameCall.data(), systemsFrameCall.size(), true);
  game.Damage(record, nullptr);
  EXPECT_EQ(game.Frame(), reinterpret_cast<void*>(0x5EED0002));
  EXPECT_EQ(game.damageCalls, 2);
  EXPECT_EQ(game.frameCalls, 2);
}

}  // namespace
}  // namespace synthetic
