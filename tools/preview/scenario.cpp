#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/config.h"
#include "core/profile_text.h"
#include "ped_renderer.h"
#include "quoted_text.h"

namespace {

struct NamedWeapon {
  const char* name;
  int32_t code;
};

// The game's weapon numbers.
constexpr NamedWeapon kWeapons[] = {
    {"fist", 0},        {"brassknuckle", 1},  {"golfclub", 2},   {"nightstick", 3},
    {"knife", 4},       {"bat", 5},           {"shovel", 6},     {"poolcue", 7},
    {"katana", 8},      {"chainsaw", 9},      {"cane", 15},      {"grenade", 16},
    {"teargas", 17},    {"molotov", 18},      {"pistol", 22},    {"silenced", 23},
    {"deagle", 24},     {"shotgun", 25},      {"sawnoff", 26},   {"spas12", 27},
    {"uzi", 28},        {"mp5", 29},          {"ak47", 30},      {"m4", 31},
    {"tec9", 32},       {"rifle", 33},        {"sniper", 34},    {"rocket", 35},
    {"heatseeker", 36}, {"flamethrower", 37}, {"minigun", 38},   {"satchel", 39},
    {"vehicle", 49},    {"runover", 50},      {"explosion", 51}, {"fall", 54},
};

constexpr BodyPart kParts[] = {
    {"head", 9, {5, 4}},       {"chest", 3, {3, 2}},       {"stomach", 3, {2, 1}},
    {"pelvis", 4, {1, 2}},     {"left-arm", 5, {32, 31}},  {"right-arm", 6, {22, 21}},
    {"left-leg", 7, {41, 42}}, {"right-leg", 8, {51, 52}},
};

struct NamedKind {
  const char* name;
  EventKind kind;
};

constexpr NamedKind kKinds[] = {
    {"shot", EventKind::Shot},           {"melee", EventKind::Melee},
    {"explosion", EventKind::Explosion}, {"fall", EventKind::Fall},
    {"death", EventKind::Death},         {"pose", EventKind::Pose},
    {"snapshot", EventKind::Snapshot},   {"camera", EventKind::Camera},
    {"remove", EventKind::Remove},       {"ini", EventKind::Ini},
};

bool InSection(const Setting& setting, const char* section) {
  return std::strcmp(setting.section, section) == 0;
}

template <typename Table>
std::string NameList(const Table& table) {
  std::string out;
  for (const auto& entry : table) out += (out.empty() ? "" : ", ") + std::string(entry.name);
  return out;
}

// A plain decimal number, nothing after it; false for anything else (NaN, inf included).
bool ParseNumber(const std::string& text, float* value) {
  if (text.empty() || text.size() > 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
  }
  char* end = nullptr;
  double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(parsed) || std::fabs(parsed) > 1e7) {
    return false;
  }
  *value = static_cast<float>(parsed);
  return true;
}

class LineParser {
 public:
  LineParser(const std::string& fileName, int line) : fileName_(fileName), line_(line) {}

  [[noreturn]] void Fail(const std::string& message) const {
    throw PreviewError(fileName_ + ":" + std::to_string(line_) + ": " + message);
  }

  EventTime Time(const std::string& text) const {
    EventTime time;
    std::string rest = text;
    if (!rest.empty() && rest[0] == '+') {
      time.relative = true;
      rest = rest.substr(1);
      const struct {
        const char* name;
        EventTime::Key key;
      } keys[] = {{"FlowTime", EventTime::Key::FlowTime},
                  {"DryTime", EventTime::Key::DryTime},
                  {"CorpseBleedTime", EventTime::Key::CorpseBleedTime}};
      for (const auto& key : keys) {
        if (rest == key.name) {
          time.key = key.key;
          return time;
        }
      }
    }
    if (!ParseNumber(rest, &time.seconds) || time.seconds < 0.0f) {
      Fail("bad time " + QuotedText(text) +
           " (expected seconds such as 12.5, or +0.5, +FlowTime, +DryTime, +CorpseBleedTime)");
    }
    return time;
  }

  EventKind Kind(const std::string& text) const {
    for (const NamedKind& kind : kKinds) {
      if (text == kind.name) return kind.kind;
    }
    Fail("unknown event kind " + QuotedText(text) + " (expected " + NameList(kKinds) + ")");
  }

  int32_t Weapon(const std::string& text) const {
    for (const NamedWeapon& weapon : kWeapons) {
      if (text == weapon.name) return weapon.code;
    }
    float code = 0.0f;
    if (ParseNumber(text, &code) && code >= 0.0f && code <= 255.0f && code == std::floor(code)) {
      return static_cast<int32_t>(code);
    }
    Fail("unknown weapon " + QuotedText(text) + " (expected a weapon number or " +
         NameList(kWeapons) + ")");
  }

  const BodyPart* Part(const std::string& text) const {
    for (const BodyPart& part : kParts) {
      if (text == part.name) return &part;
    }
    Fail("unknown body part " + QuotedText(text) + " (expected " + NameList(kParts) + ")");
  }

  ScenarioPose Pose(const std::string& text, bool armsRaised) const {
    if (text == "standing") return ScenarioPose::Standing;
    if (text == "lying") return ScenarioPose::Lying;
    if (armsRaised && text == "arms-raised") return ScenarioPose::ArmsRaised;
    Fail("unknown pose " + QuotedText(text) + " (expected standing, lying" +
         (armsRaised ? ", arms-raised)" : ")"));
  }

 private:
  const std::string& fileName_;
  int line_;
};

}  // namespace

const char* ScenarioKindName(EventKind kind) {
  for (const NamedKind& named : kKinds) {
    if (named.kind == kind) return named.name;
  }
  return "?";
}

Scenario ParseScenario(const std::string& bytes, const std::string& fileName) {
  Scenario scenario;
  scenario.fileName = fileName;
  // Read as the plug-in reads its ini: a byte-order mark or UTF-16 is understood, and
  // lines end at CR, LF or both.
  const std::string text = DecodeProfileText(bytes);
  size_t snapshots = 0;
  int number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string raw = text.substr(at, end - at);
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    ++number;
    size_t comment = raw.find('#');
    std::string content = raw.substr(0, comment);
    std::istringstream fields(content);
    std::string timeText, kindText, weaponText;
    if (!(fields >> timeText)) continue;  // blank or comment only
    LineParser parse(fileName, number);
    if (!(fields >> kindText >> weaponText)) {
      parse.Fail("expected TIME KIND WEAPON TARGET, got " + QuotedText(content));
    }
    std::string target, word;
    while (fields >> word) target += (target.empty() ? "" : " ") + word;
    if (scenario.events.size() == kMaxEvents) {
      parse.Fail("more than " + std::to_string(kMaxEvents) + " events");
    }

    ScenarioEvent event;
    event.line = number;
    event.time = parse.Time(timeText);
    event.kind = parse.Kind(kindText);
    const bool armed = event.kind == EventKind::Shot || event.kind == EventKind::Melee ||
                       event.kind == EventKind::Explosion;
    if (armed) {
      event.weapon = parse.Weapon(weaponText);
      event.weaponName = weaponText;
    } else if (weaponText != "-") {
      parse.Fail(std::string("'") + kindText + "' takes no weapon: write '-' instead of " +
                 QuotedText(weaponText));
    }
    const bool oneWord = event.kind != EventKind::Snapshot && event.kind != EventKind::Ini;
    if (oneWord && target.find(' ') != std::string::npos) {
      parse.Fail("unexpected text after the target: " + QuotedText(target));
    }
    switch (event.kind) {
      case EventKind::Shot:
      case EventKind::Melee:
        event.part = parse.Part(target);
        break;
      case EventKind::Explosion:
        if (!ParseNumber(target, &event.distance) || event.distance < 0.0f ||
            event.distance > 100.0f) {
          parse.Fail("bad explosion distance " + QuotedText(target) +
                     " (expected metres, 0 to 100)");
        }
        break;
      case EventKind::Fall:
      case EventKind::Death:
        event.pose = parse.Pose(target, false);
        break;
      case EventKind::Pose:
        event.pose = parse.Pose(target, true);
        break;
      case EventKind::Snapshot:
        if (++snapshots > kMaxSnapshots) {
          parse.Fail("more than " + std::to_string(kMaxSnapshots) + " snapshots");
        }
        event.text = target;
        break;
      case EventKind::Camera: {
        const std::vector<std::string>& names = CameraNames();
        if (std::find(names.begin(), names.end(), target) == names.end()) {
          parse.Fail("unknown camera " + QuotedText(target) +
                     " (expected front, back, left, right, above, below)");
        }
        event.text = target;
        break;
      }
      case EventKind::Remove:
        if (!target.empty() && target != "-") parse.Fail("'remove' takes no target");
        break;
      case EventKind::Ini: {
        // The line means what it would mean in the ini's [Blood] section.
        const size_t equals = target.find('=');
        const char* canonical = nullptr;
        std::string value;
        for (const Setting& known : kSettings) {
          if (equals != std::string::npos && InSection(known, "Blood") &&
              FindProfileValue("[Blood]\n" + target, "Blood", known.name, &value)) {
            canonical = known.name;
          }
        }
        if (!canonical || value.empty()) {
          parse.Fail("bad ini line " + QuotedText(target) +
                     " (expected KEY=VALUE with a key of [Blood])");
        }
        for (const ScenarioEvent& earlier : scenario.events) {
          if (earlier.kind == EventKind::Ini && earlier.key == canonical) {
            parse.Fail(std::string(canonical) + " is set twice (first at line " +
                       std::to_string(earlier.line) + ")");
          }
        }
        event.key = canonical;
        event.text = value;
        break;
      }
    }
    scenario.events.push_back(event);
  }
  return scenario;
}

std::string IniOverrideList(const Scenario& scenario) {
  std::string list;
  for (const ScenarioEvent& event : scenario.events) {
    if (event.kind == EventKind::Ini) {
      list += (list.empty() ? "" : ", ") + event.key + "=" + event.text;
    }
  }
  return list;
}

std::string ApplyIniOverrides(const std::string& ini, const Scenario& scenario) {
  if (IniOverrideList(scenario).empty()) return ini;
  auto section = [&](const char* name) {
    std::string out = std::string("[") + name + "]\r\n";
    for (const Setting& setting : kSettings) {
      if (!InSection(setting, name)) continue;
      const char* key = setting.name;
      std::string value;
      bool found = FindProfileValue(ini, name, key, &value);
      for (const ScenarioEvent& event : scenario.events) {
        if (event.kind == EventKind::Ini && event.key == key) {
          value = event.text;
          found = true;
        }
      }
      if (found) out += std::string(key) + "=" + value + "\r\n";
    }
    return out;
  };
  // Every section of the table, in its order (a section's keys are together).
  std::string out;
  for (const Setting& setting : kSettings) {
    if (&setting == kSettings || !InSection(setting, (&setting - 1)->section)) {
      out += section(setting.section);
    }
  }
  return out;
}

std::vector<float> ResolveEventTimes(const Scenario& scenario, const BloodConfig& config,
                                     const std::string& iniName) {
  std::vector<float> times;
  float previous = 0.0f;
  for (const ScenarioEvent& event : scenario.events) {
    float step = event.time.seconds;
    switch (event.time.key) {
      case EventTime::Key::FlowTime:
        step = config.FlowTime;
        break;
      case EventTime::Key::DryTime:
        step = config.DryTime;
        break;
      case EventTime::Key::CorpseBleedTime:
        step = config.CorpseBleedTime;
        break;
      case EventTime::Key::None:
        break;
    }
    float time = event.time.relative ? previous + step : step;
    if (!(time >= previous)) {
      std::ostringstream message;
      message << scenario.fileName << ":" << event.line << ": time " << time
              << " s is before the previous event at " << previous << " s";
      throw PreviewError(message.str());
    }
    // The game clock counts 32-bit milliseconds; a day of scenario is plenty. A time that
    // only gets there with a setting's value is the fault of whoever set it.
    if (time > kMaxScenarioSeconds) {
      const std::string at = scenario.fileName + ":" + std::to_string(event.line);
      if (event.time.key == EventTime::Key::None) {
        throw PreviewError(at + ": the scenario runs past one day");
      }
      const char* key = event.time.key == EventTime::Key::FlowTime  ? "FlowTime"
                        : event.time.key == EventTime::Key::DryTime ? "DryTime"
                                                                    : "CorpseBleedTime";
      std::string blame = iniName + ": " + key;
      for (const ScenarioEvent& setter : scenario.events) {
        if (setter.kind == EventKind::Ini && setter.key == key) {
          blame = scenario.fileName + ":" + std::to_string(setter.line) + ": " + key;
        }
      }
      std::ostringstream message;
      message << blame << " = " << step << " s makes " << at << " run past one day";
      throw PreviewError(message.str());
    }
    times.push_back(time);
    previous = time;
  }
  return times;
}
