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
class PreviewError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class EventKind { Shot, Melee, Explosion, Fall, Death, Pose, Snapshot, Camera, Remove, Ini };
enum class ScenarioPose { Standing, Lying, ArmsRaised };

// A body part: the game's piece number, and where shots at it aim: between two bones
// (game numbers), past the second by `beyond` of their distance; the second pair where the
// skeleton lacks a bone of the first.
struct BodyPart {
  struct Aim {
    int32_t fromBone;
    int32_t toBone;
    float beyond;
  };
  const char* name;
  int32_t piece;
  Aim aims[2];
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
  std::string text;                            // snapshot caption, camera name
};

struct Scenario {
  std::string fileName;  // for messages
  std::vector<ScenarioEvent> events;
};

// Parses scenario text; fileName names it in messages. Throws PreviewError
// "FILE:LINE: ..." at the first bad line.
Scenario ParseScenario(const std::string& text, const std::string& fileName);

// Seconds from the start of every event, in order, with relative times resolved against
// config. Throws PreviewError "FILE:LINE: ..." when a time goes back before the previous
// event's.
std::vector<float> ResolveEventTimes(const Scenario& scenario, const BloodConfig& config);

// The ini text with the scenario's ini lines in force: each KEY=VALUE replaces every line
// of that key in the [Blood] section (added at its top; the section is made if missing).
std::string ApplyIniOverrides(const std::string& ini, const Scenario& scenario);
// The scenario's ini lines as "KEY=VALUE, ..."; empty when it has none.
std::string IniOverrideList(const Scenario& scenario);

// The built-in scenario (default_scenario.txt, compiled in).
const char* DefaultScenarioText();
const char* ScenarioKindName(EventKind kind);
