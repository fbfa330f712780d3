// Preview scenarios: what happens to the ped, one event per line.
//
//   # comment
//   TIME  KIND  WEAPON  TARGET
//
// TIME is seconds from the start (12.5), or after the previous event (+0.5, +FlowTime,
// +DryTime, +CorpseBleedTime: the values of the loaded ini). KIND and its WEAPON and TARGET:
//   shot       WEAPON  PART      the player fires at the body part (a corpse: shot into it)
//   melee      WEAPON  PART      a ped beside the target hits the body part
//   explosion  WEAPON  METRES    an explosion that far in front of the ped's feet
//   fall       -       POSE      the ped falls and lands standing or lying
//   death      -       POSE      the ped dies, standing or lying
//   pose       -       POSE      standing, lying or arms-raised
//   snapshot   -       CAPTION   pictures of this moment (the caption is the rest of the line)
//   camera     -       NAME      one more view for every picture (front, back, left, right,
//                                above, below)
//   remove     -       -         the game deletes the ped
//   ini        -       KEY=VALUE the scenario's own value of a [Blood] key, for the whole
//                                run (given at start-up, whatever the line's time)
// WEAPON is a weapon name (pistol, shotgun, sniper, knife, grenade, ...) or the game's
// weapon number; PART is head, chest, stomach, pelvis, left-arm, right-arm, left-leg or
// right-leg.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct BloodConfig;

// Every failure of the preview: the message names the file (and line) it is about.
// status is the program's exit status for it.
class PreviewError : public std::runtime_error {
 public:
  explicit PreviewError(const std::string& message, int exitStatus = 1)
      : std::runtime_error(message), status(exitStatus) {}
  int status;
};

// Bounds on the work one scenario can ask for.
constexpr size_t kMaxEvents = 5000;
constexpr size_t kMaxSnapshots = 48;
constexpr float kMaxScenarioSeconds = 86400.0f;

enum class EventKind { Shot, Melee, Explosion, Fall, Death, Pose, Snapshot, Camera, Remove, Ini };
enum class ScenarioPose { Standing, Lying, ArmsRaised };

// A body part: the game's piece number, and the game bones whose part of the mesh shots at
// it aim at: the first, else the second where no vertex follows the first.
struct BodyPart {
  const char* name;
  int32_t piece;
  int32_t bones[2];
};

struct EventTime {
  enum class Key { None, FlowTime, DryTime, CorpseBleedTime };
  bool relative = false;
  float seconds = 0.0f;  // absolute time, or the added seconds when Key is None
  Key key = Key::None;
};

struct ScenarioEvent {
  int line = 0;
  EventTime time;
  EventKind kind = EventKind::Snapshot;
  int32_t weapon = -1;
  std::string weaponName;
  const BodyPart* part = nullptr;              // shot, melee
  float distance = 0.0f;                       // explosion
  ScenarioPose pose = ScenarioPose::Standing;  // fall, death, pose
  std::string text;                            // snapshot caption, camera name, ini value
  std::string key;                             // ini: the key as the file writes it
};

struct Scenario {
  std::string fileName;  // for messages
  std::vector<ScenarioEvent> events;
};

// Parses scenario text (a file's bytes, read as the plug-in reads its ini: byte-order
// marks, UTF-16, CR, LF or CRLF line ends); fileName names it in messages. An ini line's
// KEY=VALUE reads as it would in the ini's [Blood] section; a key may be set once. Throws
// PreviewError "FILE:LINE: ..." at the first bad line, with the bad text quoted safely.
Scenario ParseScenario(const std::string& text, const std::string& fileName);

// Seconds from the start of every event, in order, with relative times resolved against
// config. Throws PreviewError "FILE:LINE: ..." when a time goes back before the previous
// event's or past a day; when a setting's value takes it past a day, the message names
// who set it: the scenario's ini line, else iniName.
std::vector<float> ResolveEventTimes(const Scenario& scenario, const BloodConfig& config,
                                     const std::string& iniName);

// The ini the plug-in reads in the run: the ini's own bytes when the scenario sets nothing;
// otherwise every key of [Blood] and [Overrides] as the plug-in's profile reader finds it
// in ini (the first of a key given twice, whatever the encoding and line ends), the
// scenario's values in place of theirs, written plainly.
std::string ApplyIniOverrides(const std::string& ini, const Scenario& scenario);
// The scenario's ini lines as "KEY=VALUE, ..." (values as the reader reads them); empty
// when it has none.
std::string IniOverrideList(const Scenario& scenario);

// The built-in scenario (default_scenario.txt, compiled in).
const char* DefaultScenarioText();
const char* ScenarioKindName(EventKind kind);
