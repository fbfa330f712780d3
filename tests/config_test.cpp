// The configuration loader against the platform's profile reader: natively our own
// reader, on Windows (under Wine) the system's. Both builds expect the same values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/platform.h"
#include "core/profile_text.h"
#include "plugin/system_state.h"
#include "support/sim_fixture.h"

namespace {

void ExpectSameFloat(float actual, float expected, const char* field) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << field;
  } else {
    EXPECT_EQ(actual, expected) << field;
  }
}

void ExpectSame(int32_t actual, int32_t expected, const char* key) {
  EXPECT_EQ(actual, expected) << key;
}
void ExpectSame(float actual, float expected, const char* key) {
  ExpectSameFloat(actual, expected, key);
}
void ExpectSame(const float (&actual)[3], const float (&expected)[3], const char* key) {
  for (int i = 0; i < 3; ++i) ExpectSameFloat(actual[i], expected[i], key);
}
void ExpectSame(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                const char* key) {
  EXPECT_EQ(actual, expected) << key;
}

#define VT_EXPECT_SAME(section, name, ...) ExpectSame(a.name, e.name, #name);
// clang-format off
void ExpectSameConfig(const BloodConfig& a, const BloodConfig& e) {
  VT_SETTINGS(VT_EXPECT_SAME)
}
// clang-format on
#undef VT_EXPECT_SAME

struct ConfigCase {
  const char* what;
  std::string ini;
  void (*expect)(BloodConfig&);  // the changes from the defaults
};

std::string Blood(const std::string& lines) { return "[Blood]\r\n" + lines; }

const ConfigCase kConfigCases[] = {
    {"no keys", Blood(""), [](BloodConfig&) {}},
    {"MaskSize above", Blood("MaskSize=2000\r\n"), [](BloodConfig& c) { c.MaskSize = 1024; }},
    {"MaskSize below", Blood("MaskSize=10\r\n"), [](BloodConfig& c) { c.MaskSize = 64; }},
    {"MaskSize kept", Blood("MaskSize=300\r\n"), [](BloodConfig& c) { c.MaskSize = 300; }},
    {"MaskSize limits", Blood("MaskSize=1025\r\nMaxBloodyPeds=2\r\n"),
     [](BloodConfig& c) { c.MaskSize = 1024, c.MaxBloodyPeds = 2; }},
    {"MaskSize 63", Blood("MaskSize=63"), [](BloodConfig& c) { c.MaskSize = 64; }},
    {"SeamMargin kept", Blood("SeamMargin=3\r\n"), [](BloodConfig& c) { c.SeamMargin = 3; }},
    {"SeamMargin above", Blood("SeamMargin=9\r\n"), [](BloodConfig& c) { c.SeamMargin = 8; }},
    {"SeamMargin below", Blood("SeamMargin=-1\r\n"), [](BloodConfig&) {}},
    {"MaskSize letters", Blood("MaskSize=big\r\n"), [](BloodConfig& c) { c.MaskSize = 64; }},
    {"MaskSize leading number", Blood("MaskSize = 300px\r\n"),
     [](BloodConfig& c) { c.MaskSize = 300; }},
    {"empty integer keeps default", Blood("MaskSize=\r\nLog=\r\n"), [](BloodConfig&) {}},
    {"signs", Blood("MaskSize=+500\nDrips=-2\n"),
     [](BloodConfig& c) { c.MaskSize = 500, c.Drips = -2; }},
    {"ExitWounds on", Blood("ExitWounds=1\n"), [](BloodConfig& c) { c.ExitWounds = 1; }},
    {"ExitWounds clamped to 0 or 1", Blood("ExitWounds=7\n"),
     [](BloodConfig& c) { c.ExitWounds = 1; }},
    {"ExitWounds negative", Blood("ExitWounds=-3\n"), [](BloodConfig&) {}},
    {"LogTextureNames on", Blood("LogTextureNames=1\n"),
     [](BloodConfig& c) { c.LogTextureNames = 1; }},
    {"KeepHeadOnHeadshot off, as a number", Blood("KeepHeadOnHeadshot=off\n"),
     [](BloodConfig& c) { c.KeepHeadOnHeadshot = 0; }},
    {"DripsMax follows DripsMin", Blood("DripsMin=3\nDripsMax=2\n"),
     [](BloodConfig& c) { c.DripsMin = 3, c.DripsMax = 3; }},
    {"DripsMax above 6 by DripsMin", Blood("DripsMin=8\nDripsMax=9\n"),
     [](BloodConfig& c) { c.DripsMin = 8, c.DripsMax = 8; }},
    {"DripsMax at most 6", Blood("DripsMax=9\n"), [](BloodConfig& c) { c.DripsMax = 6; }},
    {"DripsMax default follows", Blood("DripsMin=5\n"),
     [](BloodConfig& c) { c.DripsMin = 5, c.DripsMax = 5; }},
    {"at least 1",
     Blood("MaxBloodyPeds=0\nMaxBulletWounds=-3\nMaxExplosionWounds=none\nMaxFallWounds=-0\n"),
     [](BloodConfig& c) {
       c.MaxBloodyPeds = c.MaxBulletWounds = c.MaxExplosionWounds = c.MaxFallWounds = 1;
     }},
    {"number limits", Blood("FlowTime=0.1\nDryTime=0\nCorpseBleedTime=-5\n"),
     [](BloodConfig& c) { c.FlowTime = 0.5f, c.DryTime = 1.0f, c.CorpseBleedTime = 0.0f; }},
    {"number limits kept", Blood("FlowTime=0.5\nDryTime=2.5\nCorpseBleedTime=0.25\n"),
     [](BloodConfig& c) { c.FlowTime = 0.5f, c.DryTime = 2.5f, c.CorpseBleedTime = 0.25f; }},
    {"letters and NaN take the limit", Blood("FlowTime=abc\nDryTime=nan\nCorpseBleedTime=NaN\n"),
     [](BloodConfig& c) { c.FlowTime = 0.5f, c.DryTime = 1.0f, c.CorpseBleedTime = 0.0f; }},
    {"numbers",
     Blood("WoundRadius=0.05\nShotgunWoundRadius=1e-2\nRifleWoundRadius=7abc\n"
           "DripLength=.5\nDepthOffset=-0.25\nFallMinDamage=12\n"),
     [](BloodConfig& c) {
       c.WoundRadius = 0.05f, c.ShotgunWoundRadius = 0.01f, c.RifleWoundRadius = 0.1f;
       c.DripLength = 0.5f, c.DepthOffset = -0.25f, c.FallMinDamage = 12.0f;
     }},
    {"sizes clamped, non-finite ones keep the default",
     Blood("WoundRadius=100\nShotgunWoundRadius=-1\nRifleWoundRadius=nan\nDripLength=5\n"),
     [](BloodConfig& c) {
       c.WoundRadius = 0.1f, c.ShotgunWoundRadius = 0.0f, c.DripLength = 1.0f;
     }},
    {"sizes at their limits, infinities keep the default",
     Blood("WoundRadius=0.1\nShotgunWoundRadius=inf\nRifleWoundRadius=-inf\nDripLength=1\n"),
     [](BloodConfig& c) { c.WoundRadius = 0.1f, c.DripLength = 1.0f; }},
    {"budgets", Blood("PaintBudget=1.5\nBloodMemory=160\n"),
     [](BloodConfig& c) { c.PaintBudget = 1.5f, c.BloodMemory = 160.0f; }},
    {"pose kept, clamped", Blood("FollowPose=0\n"), [](BloodConfig& c) { c.FollowPose = 0; }},
    {"pose followed, clamped", Blood("FollowPose=7\n"), [](BloodConfig& c) { c.FollowPose = 1; }},
    {"budgets clamped", Blood("PaintBudget=20\nBloodMemory=4000\n"),
     [](BloodConfig& c) { c.PaintBudget = 16.0f, c.BloodMemory = 1536.0f; }},
    {"budgets below their limits", Blood("PaintBudget=-1\nBloodMemory=0.5\n"),
     [](BloodConfig& c) { c.BloodMemory = 16.0f; }},
    {"budgets negative or not finite", Blood("PaintBudget=nan\nBloodMemory=-3\n"),
     [](BloodConfig&) {}},
    {"budgets infinite keep the default, letters give none",
     Blood("PaintBudget=inf\nBloodMemory=lots\n"), [](BloodConfig&) {}},
    {"colour components not finite keep their defaults",
     Blood("DriedColor=nan,inf,-inf\nBloodColor=0.5,1e39,nan\n"),
     [](BloodConfig& c) { c.BloodColor[0] = 0.5f; }},
    {"colour components clamped to 0 ... 1", Blood("BloodColor=2,-1,1\nDriedColor=-0.5,0,0.25\n"),
     [](BloodConfig& c) {
       c.BloodColor[0] = 1.0f, c.BloodColor[1] = 0.0f, c.BloodColor[2] = 1.0f;
       c.DriedColor[0] = 0.0f, c.DriedColor[1] = 0.0f, c.DriedColor[2] = 0.25f;
     }},
    {"empty number keeps default, letters give 0", Blood("WoundRadius=\nDripLength=abc\n"),
     [](BloodConfig& c) { c.DripLength = 0.0f; }},
    {"colour with two numbers", Blood("BloodColor=0.5,0.1\n"),
     [](BloodConfig& c) { c.BloodColor[0] = 0.5f, c.BloodColor[1] = 0.1f; }},
    {"colour with a blank before a comma", Blood("BloodColor=0.5 ,0.1,0.2\n"),
     [](BloodConfig& c) { c.BloodColor[0] = 0.5f; }},
    {"colour with blanks before numbers", Blood("DriedColor=0.2, 0.3,  0.4, 9\n"),
     [](BloodConfig& c) {
       c.DriedColor[0] = 0.2f, c.DriedColor[1] = 0.3f, c.DriedColor[2] = 0.4f;
     }},
    {"colour not a number", Blood("BloodColor=red\nDriedColor=\n"), [](BloodConfig&) {}},
    {"other section", "[Gore]\nMaskSize=300\n[Bloody]\nLog=0\n", [](BloodConfig&) {}},
    {"keys before any section", "MaskSize=300\n[Blood]\n", [](BloodConfig&) {}},
    {"names ignore case and blanks", "  [bLOOD]  \n  masksize   =   300   \n\tLOG\t=\t0\t\n",
     [](BloodConfig& c) { c.MaskSize = 300, c.Log = 0; }},
    {"comments and lines without '='", Blood(";MaskSize=300\nLog\nDrips=2\n"),
     [](BloodConfig& c) { c.Drips = 2; }},
    {"first key and first section win",
     Blood("MaskSize=300\nMaskSize=500\n[Other]\n[Blood]\nLog=0\n"),
     [](BloodConfig& c) { c.MaskSize = 300; }},
    {"quotes are dropped", Blood("MaskSize=\"300\"\nWoundRadius='0.05'\n"),
     [](BloodConfig& c) { c.MaskSize = 300, c.WoundRadius = 0.05f; }},
    {"CR line ends", "[Blood]\rMaskSize=300\rLog=0\r",
     [](BloodConfig& c) { c.MaskSize = 300, c.Log = 0; }},
    {"name lists",
     "[Overrides]\nSkinTextures = Skin A, ,BODY,,x y z \nClothTextures=Shirt\tTop,JEANS\n",
     [](BloodConfig& c) {
       c.SkinTextures = {"skina", "body", "xyz"};
       c.ClothTextures = {"shirt\ttop", "jeans"};
     }},
    {"name lists in the wrong section", Blood("SkinTextures=a,b\n"), [](BloodConfig&) {}},
    {"over-long number value is cut to 63 characters",
     Blood("WoundRadius=0.0" + std::string(5000, '1') + "9\nMaskSize=300\n"),
     [](BloodConfig& c) {
       c.WoundRadius =
           static_cast<float>(std::strtod(("0.0" + std::string(60, '1')).c_str(), nullptr));
       c.MaskSize = 300;
     }},
    {"over-long colour value", Blood("BloodColor=0.25," + std::string(100, '0') + "1,0.5\n"),
     [](BloodConfig& c) { c.BloodColor[0] = 0.25f, c.BloodColor[1] = 0.0f; }},
    {"over-long lines around the keys",
     Blood("Junk=" + std::string(100000, 'x') + "\nMaskSize=300\n" + std::string(70000, 'y') +
           "\nLog=0\n"),
     [](BloodConfig& c) { c.MaskSize = 300, c.Log = 0; }},
    {"over-long name list is cut at 2047 characters",
     "[Overrides]\nSkinTextures=" + std::string(2040, 'a') + ",bcdefghij,k\n",
     [](BloodConfig& c) {
       c.SkinTextures = {std::string(2040, 'a'), "bcdefg"};
     }},
    {"binary junk",
     std::string("\x7F"
                 "ELF\x01\x00\x00[\xFF\xFE]\x00=\x80\x81\r\x1A",
                 18),
     [](BloodConfig&) {}},
    {"keys among binary junk",
     std::string("\x01\x02\x03\n[Blood]\n\x05\x06=\x07\nMaskSize=300\0"
                 "999\nLog=0\x1A\n",
                 42),
     [](BloodConfig& c) { c.MaskSize = 300, c.Log = 0; }},
};

class ConfigFile : public SimTest {};

TEST_F(ConfigFile, EveryKeyIsReadAndLimited) {
  for (const ConfigCase& test : kConfigCases) {
    SCOPED_TRACE(test.what);
    WriteIni(test.ini);
    BloodConfig actual;
    LoadConfig(actual, PathOf("Vermiltrace.ini").c_str());
    BloodConfig expected;
    test.expect(expected);
    ExpectSameConfig(actual, expected);
  }
}

TEST_F(ConfigFile, MissingOrUnreadableFileKeepsDefaults) {
  BloodConfig missing;
  LoadConfig(missing, PathOf("Vermiltrace.ini").c_str());
  ExpectSameConfig(missing, BloodConfig());
  std::filesystem::create_directory(PathOf("Vermiltrace.ini"));  // cannot be read as a file
  BloodConfig unreadable;
  LoadConfig(unreadable, PathOf("Vermiltrace.ini").c_str());
  ExpectSameConfig(unreadable, BloodConfig());
  BloodConfig noPath;
  LoadConfig(noPath, "");
  ExpectSameConfig(noPath, BloodConfig());
}

TEST(ConfigNameList, SplitsAtCommasDropsSpacesAndLowerCases) {
  EXPECT_EQ(SplitNameList(" A b ,,\tC\t, ,Ä"), (std::vector<std::string>{"ab", "\tc\t", "Ä"}));
  EXPECT_TRUE(SplitNameList("").empty());
  EXPECT_TRUE(SplitNameList(nullptr).empty());
}

// Lists that cannot work as written are read as before and named in the log at start-up.
TEST_F(ConfigFile, CutOrUnmatchableNameListsAreLoggedAtStartUp) {
  const std::string longList = "a," + std::string(2100, 'b');
  WriteIni("[Overrides]\r\nSkinTextures=skin, my skin,other\r\nClothTextures=" + longList + "\r\n");
  Start();
  const std::vector<std::string> lines = ReadLogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3],
            "SkinTextures: \"my skin\" can never match a texture (spaces inside a name are "
            "removed)");
  EXPECT_EQ(lines[4],
            "ClothTextures: longer than 2047 characters, everything after them is ignored");
  EXPECT_EQ(Config().SkinTextures, (std::vector<std::string>{"skin", "myskin", "other"}));
  EXPECT_EQ(Config().ClothTextures, SplitNameList(longList.substr(0, 2047).c_str()));

  struct NoteCase {
    std::string value;
    const char* line;  // null: nothing to say
  };
  const NoteCase cases[] = {
      {"one, two ,three", nullptr},
      {"'quoted',b",
       "SkinTextures: \"'quoted'\" can never match a texture (quotes stay part "
       "of the name)"},
      // The reader takes the outer quotes off the whole value, not off each name.
      {"\"one\", \"two\"",
       "SkinTextures: \"one\"\" can never match a texture (quotes stay "
       "part of the name)"},
      {std::string(2047, 'x'), nullptr},
  };
  for (const NoteCase& c : cases) {
    SCOPED_TRACE(c.value);
    NewProcess();
    WriteIni(std::string("[Overrides]\r\nSkinTextures=") + c.value + "\r\n");
    Start();
    const std::vector<std::string> noted = ReadLogLines();
    ASSERT_EQ(noted.size(), c.line ? 4u : 3u);
    if (c.line) {
      EXPECT_EQ(noted[3], c.line);
    }
  }
}

// Our text reader and the platform's reader answer alike. Natively the platform reader
// is ours, so this test bites under Wine, where it is the system's own.
TEST_F(ConfigFile, TextReaderAgreesWithThePlatformReader) {
  struct ReaderCase {
    std::string text;
    const char* section;
    const char* key;
  };
  const ReaderCase cases[] = {
      {"[S]\nk=\"abc\"\n", "S", "k"},
      {"[S]\nk='a'\n", "S", "k"},
      {"[S]\nk=\"\n", "S", "k"},
      {"[S]\nk=\"\"\n", "S", "k"},
      {"[S]\nk=\"a'\n", "S", "k"},
      {"[ S ]\nk=1\n", "S", "k"},
      {"[S\nk=1\n", "S", "k"},
      {"[S]junk\nk=1\n", " S ", " k "},
      {"[S]\nk\nk=1\n", "S", "k"},
      {"[S]\n  k  =  1 2  \n", "s", "K"},
      {"[S]\nk=+17\n", "S", "k"},
      {"[S]\nk=-17x\n", "S", "k"},
      {"[S]\nk=0x1F\n", "S", "k"},
      {"[S]\nk=0X1F\n", "S", "k"},
      {"[S]\nk=0b101\n", "S", "k"},
      {"[S]\nk=0o17\n", "S", "k"},
      {"[S]\nk=4294967295\n", "S", "k"},
      {"[S]\nk=2147483648\n", "S", "k"},
      {"[S]\nk=99999999999\n", "S", "k"},
      {"[S]\nk=1.9\n", "S", "k"},
      {"[S]\nk=\x1A 5 \x1A\n", "S", "k"},
      {"[S]\nk=a\x0B\x0C\n", "S", "k"},
      {"\xEF\xBB\xBF[S]\nk=5\n", "S", "k"},
      {std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0"
                   "7\0",
                   16),
       "S", "k"},
      {std::string("[S]\nk=12\0"
                   "34\n",
                   12),
       "S", "k"},
      {"", "S", "k"},
      {"[S]\n;k=3\nk=4\n", "S", "k"},
      {"[S]\nk=1=2\n", "S", "k"},
  };
  for (const ReaderCase& test : cases) {
    SCOPED_TRACE(testing::PrintToString(test.text));
    WriteIni(test.text);
    const std::string path = PathOf("Vermiltrace.ini");
    EXPECT_EQ(ProfileIntFromText(test.text, test.section, test.key, -99),
              platform::ProfileInt(test.section, test.key, -99, path.c_str()));
    // Size 1 is left out: the platform's reader writes before its buffer for a value of
    // two quotes.
    for (size_t size : {2, 3, 4, 5, 64}) {
      char ours[64], theirs[64];
      std::memset(ours, '#', sizeof(ours));
      std::memset(theirs, '#', sizeof(theirs));
      size_t n = ProfileStringFromText(test.text, test.section, test.key, "dflt  ", ours, size);
      size_t m =
          platform::ProfileString(test.section, test.key, "dflt  ", theirs, size, path.c_str());
      EXPECT_EQ(n, m) << "size " << size;
      EXPECT_STREQ(ours, theirs) << "size " << size;
    }
  }
}

// A key's value as the shipped file writes it is one the reader keeps unchanged.
bool WithinLimits(const Setting& key, double value, double dripsMin) {
  switch (key.limit) {
    case SettingLimit::None:
      return true;
    case SettingLimit::Clamp:
      return value >= key.low && value <= key.high;
    case SettingLimit::AtLeast:
      return value >= key.low;
    case SettingLimit::OffOrWithin:
      return value == 0.0 || (value >= key.low && value <= key.high);
    case SettingLimit::AtMostNotBelowDripsMin:
      return value >= dripsMin && value <= key.high;
  }
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    std::string line = text.substr(start, end - start);
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos) {
      lines.push_back(line.substr(first, line.find_last_not_of(" \t") + 1 - first));
    }
    start = end + 1;
  }
  return lines;
}

// The shipped ini names the table's keys in its sections and order, each once with a
// value within its limits; the fuzz dictionary names the same keys and sections.
TEST(SettingsTable, ShippedIniAndFuzzDictionaryNameExactlyItsKeys) {
  const std::string ini = ReadFileBytes(VT_SOURCE_DIR "/package/Vermiltrace.ini");
  const std::string dictionary = ReadFileBytes(VT_SOURCE_DIR "/tests/fuzz/config.dict");
  ASSERT_FALSE(ini.empty());
  ASSERT_FALSE(dictionary.empty());

  std::vector<std::string> tableKeys;
  std::set<std::string> tableNames, tableSections;
  for (const Setting& key : kSettings) {
    tableKeys.push_back(std::string(key.section) + "/" + key.name);
    tableNames.insert(key.name);
    tableSections.insert(key.section);
  }

  std::vector<std::string> iniKeys;
  std::string section;
  for (const std::string& line : Lines(ini)) {
    if (line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
    } else {
      iniKeys.push_back(section + "/" + line.substr(0, line.find('=')));
    }
  }
  EXPECT_EQ(iniKeys, tableKeys);

  std::set<std::string> dictionaryNames, dictionarySections;
  for (const std::string& line : Lines(dictionary)) {
    const size_t open = line.find('"');
    if (line[0] == '#' || open == std::string::npos) continue;
    const std::string entry = line.substr(open + 1, line.rfind('"') - open - 1);
    if (entry.size() > 1 && entry.back() == '=') {
      dictionaryNames.insert(entry.substr(0, entry.size() - 1));
    } else if (entry.size() > 2 && entry.front() == '[' && entry.back() == ']') {
      dictionarySections.insert(entry.substr(1, entry.size() - 2));
    }
  }
  EXPECT_EQ(dictionaryNames, tableNames);
  EXPECT_EQ(dictionarySections, tableSections);

  const double dripsMin = ProfileIntFromText(ini, "Blood", "DripsMin", 0);
  for (const Setting& key : kSettings) {
    SCOPED_TRACE(key.name);
    std::string value;
    if (!FindProfileValue(ini, key.section, key.name, &value)) continue;  // named above
    switch (key.type) {
      case SettingType::Integer:
        EXPECT_EQ(value, std::to_string(std::atoi(value.c_str())));
        EXPECT_TRUE(WithinLimits(key, std::atoi(value.c_str()), dripsMin)) << value;
        break;
      case SettingType::Number: {
        char* end = nullptr;
        const float number = std::strtof(value.c_str(), &end);
        EXPECT_TRUE(!value.empty() && *end == '\0') << value;
        // As float, as the reader keeps it and as the table's limits were written.
        EXPECT_TRUE(WithinLimits(key, number, dripsMin)) << value;
        break;
      }
      case SettingType::Colour: {
        float colour[3];
        ASSERT_EQ(std::sscanf(value.c_str(), "%f,%f,%f", &colour[0], &colour[1], &colour[2]), 3);
        for (float part : colour) EXPECT_TRUE(WithinLimits(key, part, dripsMin)) << value;
        break;
      }
      case SettingType::NameList:
        break;
    }
  }
}

}  // namespace
