#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/profile_text.h"
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
  EXPECT_EQ(scenario.events[5].key, "Drips");  // the key as the file writes it
  EXPECT_EQ(scenario.events[5].text, "1");

  BloodConfig config;
  config.FlowTime = 3.0f;
  config.DryTime = 10.0f;
  config.CorpseBleedTime = 20.0f;
  std::vector<float> times = ResolveEventTimes(scenario, config, "my.ini");
  std::vector<float> expected = {0.5f, 0.75f, 3.75f, 13.75f, 33.75f, 400.0f};
  ASSERT_EQ(times.size(), expected.size());
  for (size_t i = 0; i < times.size(); ++i) EXPECT_FLOAT_EQ(times[i], expected[i]) << i;

  Scenario backwards = ParseScenario("5 snapshot - a\n\n3 snapshot - b\n", "s.txt");
  try {
    ResolveEventTimes(backwards, config, "my.ini");
    ADD_FAILURE() << "no error";
  } catch (const PreviewError& error) {
    EXPECT_STREQ(error.what(), "s.txt:3: time 3 s is before the previous event at 5 s");
  }
}

TEST(PreviewScenario, IniLinesReplaceTheirKeysAsThePluginReadsThem) {
  Scenario scenario = ParseScenario("0 ini - Drips=1\n0 ini -  flowtime = \"2.5\"\n", "s.txt");
  EXPECT_EQ(IniOverrideList(scenario), "Drips=1, FlowTime=\"2.5\"");
  auto utf16 = [](const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) out += std::string(1, c) + '\0';
    return out;
  };
  const std::string plain = "[Blood]\r\nMaskSize=128\r\nDrips=0\r\nFlowTime=8\r\n";
  const std::string inis[] = {
      plain,
      "\xEF\xBB\xBF" + plain,
      utf16(plain),
      "[Blood]\rMaskSize=128\rDrips=0\r",
      "[Blood] ; settings]\nMaskSize=128\n[Overrides]\nSkinTextures=a, b\n",
      std::string("[Blood]\nMaskSize=128\0 ignored\nDrips\0=0\n", 39),
      "[Blood]\nMaskSize=128\nMaskSize=512\nFlowTime=3\n[Blood]\nWoundRadius=9\n",
      "; no sections\nMaskSize=128\n",
  };
  for (const std::string& ini : inis) {
    const std::string applied = ApplyIniOverrides(ini, scenario);
    for (const char* section : {"Blood", "Overrides"}) {
      for (const char* key : {"MaskSize", "WoundRadius", "SkinTextures"}) {
        std::string before, after;
        EXPECT_EQ(FindProfileValue(ini, section, key, &before),
                  FindProfileValue(applied, section, key, &after))
            << section << " " << key << " in " << ini;
        EXPECT_EQ(before, after);
      }
    }
    EXPECT_EQ(ProfileIntFromText(applied, "Blood", "Drips", 0), 1) << ini;
    char flow[16];
    ProfileStringFromText(applied, "Blood", "FlowTime", "", flow, sizeof(flow));
    EXPECT_STREQ(flow, "2.5") << ini;
  }
  // Every [Blood] key of the settings is one an ini line may set, and the run's ini keeps.
  for (const Setting& key : kSettings) {
    if (std::string(key.section) != "Blood") continue;
    const Scenario one = ParseScenario(std::string("0 ini - ") + key.name + "=1\n", "s.txt");
    EXPECT_EQ(IniOverrideList(one), std::string(key.name) + "=1");
    std::string value;
    EXPECT_TRUE(FindProfileValue(ApplyIniOverrides(plain, one), "Blood", key.name, &value));
    EXPECT_EQ(value, "1") << key.name;
  }
  Scenario none = ParseScenario("1 snapshot - x\n", "s.txt");
  EXPECT_EQ(ApplyIniOverrides(inis[2], none), inis[2]);

  // A scenario read the same way: byte-order mark, CR line ends, a key set twice.
  EXPECT_EQ(ParseScenario("\xEF\xBB\xBF"
                          "0 ini - Drips=1\r1 snapshot - x\r",
                          "s.txt")
                .events.size(),
            2u);
  EXPECT_EQ(ParseScenario(utf16("0 ini - Drips=1\n"), "s.txt").events[0].text, "1");
  EXPECT_EQ(ErrorOf("0 ini - Drips=1\r\r0 ini - drips=0\n"),
            "s.txt:3: Drips is set twice (first at line 1)");
  EXPECT_EQ(ErrorOf("1 snapshot\x1B[2J - \n")
                .rfind("s.txt:1: unknown event kind 'snapshot\\x1B[2J' (", 0),
            0u);
}

TEST(PreviewScenario, ASettingThatRunsPastADayIsItsSettersFault) {
  BloodConfig config;
  config.FlowTime = 90000.0f;
  for (const char* text :
       {"+FlowTime snapshot - a\n", "0 ini - FlowTime=90000\n+FlowTime snapshot - a\n"}) {
    Scenario scenario = ParseScenario(text, "built-in scenario");
    try {
      ResolveEventTimes(scenario, config, "my.ini");
      ADD_FAILURE() << "no error";
    } catch (const PreviewError& error) {
      const std::string setter = scenario.events.size() == 1 ? "my.ini" : "built-in scenario:1";
      EXPECT_EQ(std::string(error.what()),
                setter + ": FlowTime = 90000 s makes built-in scenario:" +
                    std::to_string(scenario.events.size()) + " run past one day");
    }
  }
}

TEST(PreviewScenario, TheBuiltInScenarioParses) {
  Scenario scenario = ParseScenario(DefaultScenarioText(), "built-in scenario");
  EXPECT_GE(scenario.events.size(), 10u);
  std::vector<float> times = ResolveEventTimes(scenario, BloodConfig{}, "my.ini");
  EXPECT_GT(times.back(), BloodConfig{}.DryTime);
}

}  // namespace
