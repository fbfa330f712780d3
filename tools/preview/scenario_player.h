// Plays a scenario on the preview's ped through the game's entry points, frame by frame,
// taking the pictures of its snapshots and the frames of its animation.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "contact_sheet.h"
#include "host/sim/sim_host.h"
#include "png_output.h"
#include "preview_ped.h"
#include "scenario.h"

struct Snapshot {
  float time;
  std::string caption;
  std::vector<Image> pictures;  // one per camera
};

// The cameras of every picture: front and back, then those the scenario names.
std::vector<std::string> ScenarioCameras(const Scenario& scenario);

class ScenarioPlayer {
 public:
  // Places the player in front of the ped and an attacker beside it; the clock starts a
  // moment into the game. flowSeconds is the ini's FlowTime (how long the animation films).
  ScenarioPlayer(SimHost& sim, PreviewPed& ped, std::vector<std::string> cameras, float flowSeconds,
                 std::ostream& progress);

  // Runs each event at its time (times from ResolveEventTimes), reporting it to progress.
  void Play(const Scenario& scenario, const std::vector<float>& times);

  const std::vector<Snapshot>& Snapshots() const { return snapshots_; }
  const std::vector<AnimationFrame>& Frames() const { return frames_; }
  bool Removed() const { return removed_; }

 private:
  float Seconds() const;
  void StartFilming(const Scenario& scenario, const std::vector<float>& times);
  void AdvanceTo(uint32_t targetMs);
  void RunFrames(uint32_t step);
  void Report(const ScenarioEvent& event, const std::string& what);
  Vec3 PartPoint(const BodyPart& part);
  HostDamage* Damage(HostPed* damager, float factor, int32_t piece, int32_t weapon);
  void Run(const ScenarioEvent& event);
  void Shoot(const ScenarioEvent& event);
  void Strike(const ScenarioEvent& event);
  void Explode(const ScenarioEvent& event);
  void Fall(const ScenarioEvent& event);
  void Die(const ScenarioEvent& event);
  void Pose(const ScenarioEvent& event);
  void Remove(const ScenarioEvent& event);
  std::vector<Image> Pictures(const std::vector<std::string>& cameras, int width, int height,
                              int supersample);
  void AddFrame(int delayMs);
  void TakeSnapshot(const std::string& caption);

  SimHost& sim_;
  PreviewPed& ped_;
  std::vector<std::string> cameras_;
  uint32_t flowMs_;
  std::ostream& progress_;
  uint32_t nextFrameMs_ = 0;  // 0 until the scenario's first hit is known
  uint32_t lastFrameMs_ = 0;
  std::vector<AnimationFrame> frames_;
  HostPed* player_ = nullptr;
  HostPed* attacker_ = nullptr;
  float total_ = 0.0f;
  bool removed_ = false;
  std::vector<Snapshot> snapshots_;
};
