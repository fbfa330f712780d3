#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "scenario.h"

namespace {

std::string ErrorOf(const std::string& text) {
  try {
    ParseScenario(text, "s.txt");
  } catch (const PreviewError& error) {
    return error.what();
  }
  return "";
}

TEST(PreviewScenario, BadLinesAreNamedWithTheirFileAndLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"0 shot pistol chest\n\n# note\n1 shoot pistol chest\n",
       "s.txt:4: unknown event kind 'shoot' (expected shot, melee"},
      {"x shot pistol chest", "s.txt:1: bad time 'x'"},
      {"-1 shot pistol chest", "s.txt:1: bad time '-1'"},
      {"+Flow snapshot - a", "s.txt:1: bad time '+Flow'"},
      {"nan shot pistol chest", "s.txt:1: bad time 'nan'"},
      {"1 shot", "s.txt:1: expected TIME KIND WEAPON TARGET, got '1 shot'"},
      {"1 shot raygun chest", "s.txt:1: unknown weapon 'raygun'"},
      {"1 shot 300 chest", "s.txt:1: unknown weapon '300'"},
      {"1 shot pistol knee", "s.txt:1: unknown body part 'knee'"},
      {"1 shot pistol chest again", "s.txt:1: unexpected text after the target"},
      {"1 explosion grenade far", "s.txt:1: bad explosion distance 'far'"},
      {"1 fall - sitting", "s.txt:1: unknown pose 'sitting' (expected standing, lying)"},
      {"1 death pistol lying", "s.txt:1: 'death' takes no weapon"},
      {"1 camera - sideways", "s.txt:1: unknown camera 'sideways'"},
      {"1 ini - Colour=1", "s.txt:1: bad ini line 'Colour=1'"},
      {"1 ini - Drips", "s.txt:1: bad ini line 'Drips'"},
      {"1 remove - now", "s.txt:1: 'remove' takes no target"},
  };
  for (const Case& c : cases) {
    std::string error = ErrorOf(c.text);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << "\n  gave: " << error;
  }
}

TEST(PreviewScenario, EventsParseAndRelativeTimesFollowTheIni) {
  Scenario scenario = ParseScenario(
      "0.5 shot 22 head   # weapon by number\r\n"
      "+0.25 melee katana left-leg\n"
      "+FlowTime snapshot - after the flow, and more\n"
      "+DryTime pose - arms-raised\n"
      "+CorpseBleedTime explosion rocket 2.5\n"
      "400 ini - drips=1\n",
      "s.txt");
  ASSERT_EQ(scenario.events.size(), 6u);
  EXPECT_EQ(scenario.events[0].weapon, 22);
  EXPECT_EQ(scenario.events[0].part->piece, 9);
  EXPECT_EQ(scenario.events[1].weapon, 8);
  EXPECT_EQ(scenario.events[1].part->piece, 7);
  EXPECT_EQ(scenario.events[2].text, "after the flow, and more");
  EXPECT_EQ(scenario.events[3].pose, ScenarioPose::ArmsRaised);
  EXPECT_EQ(scenario.events[4].weapon, 35);
  EXPECT_FLOAT_EQ(scenario.events[4].distance, 2.5f);
  EXPECT_EQ(scenario.events[5].text, "Drips=1");  // the key as the file writes it

  BloodConfig config;
  config.FlowTime = 3.0f;
  config.DryTime = 10.0f;
  config.CorpseBleedTime = 20.0f;
  std::vector<float> times = ResolveEventTimes(scenario, config);
  std::vector<float> expected = {0.5f, 0.75f, 3.75f, 13.75f, 33.75f, 400.0f};
  ASSERT_EQ(times.size(), expected.size());
  for (size_t i = 0; i < times.size(); ++i) EXPECT_FLOAT_EQ(times[i], expected[i]) << i;

  Scenario backwards = ParseScenario("5 snapshot - a\n\n3 snapshot - b\n", "s.txt");
  try {
    ResolveEventTimes(backwards, config);
    ADD_FAILURE() << "no error";
  } catch (const PreviewError& error) {
    EXPECT_STREQ(error.what(), "s.txt:3: time 3 s is before the previous event at 5 s");
  }
}

TEST(PreviewScenario, IniLinesReplaceTheirKeysInTheBloodSection) {
  Scenario scenario = ParseScenario("0 ini - Drips=1\n0 ini - flowtime=2.5\n", "s.txt");
  EXPECT_EQ(IniOverrideList(scenario), "Drips=1, FlowTime=2.5");
  std::string ini =
      "; Drips=0 in a comment stays\r\n[Other]\r\nDrips=0\r\n[Blood]\r\nMaskSize=128\r\n"
      "  drips = 0\r\nFlowTime=8\r\n";
  EXPECT_EQ(ApplyIniOverrides(ini, scenario),
            "; Drips=0 in a comment stays\r\n[Other]\r\nDrips=0\r\n[Blood]\r\nDrips=1\r\n"
            "FlowTime=2.5\r\nMaskSize=128\r\n");
  EXPECT_EQ(ApplyIniOverrides("", scenario), "\r\n[Blood]\r\nDrips=1\r\nFlowTime=2.5\r\n");
  Scenario none = ParseScenario("1 snapshot - x\n", "s.txt");
  EXPECT_EQ(ApplyIniOverrides(ini, none), ini);
}

TEST(PreviewScenario, TheBuiltInScenarioParses) {
  Scenario scenario = ParseScenario(DefaultScenarioText(), "built-in scenario");
  EXPECT_GE(scenario.events.size(), 10u);
  std::vector<float> times = ResolveEventTimes(scenario, BloodConfig{});
  EXPECT_GT(times.back(), BloodConfig{}.DryTime);
}

}  // namespace
