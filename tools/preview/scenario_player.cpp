#include "scenario_player.h"

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <sstream>
#include <utility>

#include "body_targets.h"
#include "ped_renderer.h"
#include "preview_stop.h"

namespace {

constexpr uint32_t kStartMs = 1000;  // the game has been running a moment already
constexpr uint32_t kFrameMs = 33;
constexpr uint32_t kChunkMs = 30 * kFrameMs;
constexpr int kPictureWidth = 220;
constexpr int kPictureHeight = 400;
constexpr int kSupersample = 2;
constexpr float kHitFactor = 10.0f;
constexpr float kFallFactor = 20.0f;
constexpr float kPlayerDistance = 5.0f;
constexpr float kMeleeDistance = 0.7f;
constexpr float kAimAside = 0.012f;
// The animation: the front view every kFrameStepMs of the scenario from the first hit
// while the wounds flow (at most kMaxFlowFrames), then one held frame per later snapshot.
constexpr int kFrameWidth = 180;
constexpr int kFrameHeight = 330;
constexpr uint32_t kFrameStepMs = 6 * kFrameMs;
constexpr int kMaxFlowFrames = 50;
constexpr int kFrameDelayMs = 100;
constexpr int kHoldDelayMs = 1500;
constexpr uint8_t kFrameTextColour[3] = {230, 230, 230};

uint32_t EventMs(float seconds) {
  return kStartMs + static_cast<uint32_t>(seconds * 1000.0f + 0.5f);
}

bool IsHit(EventKind kind) {
  return kind == EventKind::Shot || kind == EventKind::Melee || kind == EventKind::Explosion ||
         kind == EventKind::Fall;
}

const char* PoseWord(ScenarioPose pose) {
  return pose == ScenarioPose::Lying        ? "lying"
         : pose == ScenarioPose::ArmsRaised ? "arms raised"
                                            : "standing";
}

}  // namespace

std::vector<std::string> ScenarioCameras(const Scenario& scenario) {
  std::vector<std::string> cameras = {"front", "back"};
  for (const ScenarioEvent& event : scenario.events) {
    if (event.kind == EventKind::Camera &&
        std::find(cameras.begin(), cameras.end(), event.text) == cameras.end()) {
      cameras.push_back(event.text);
    }
  }
  return cameras;
}

ScenarioPlayer::ScenarioPlayer(SimHost& sim, PreviewPed& ped, std::vector<std::string> cameras,
                               float flowSeconds, std::ostream& progress)
    : sim_(sim),
      ped_(ped),
      cameras_(std::move(cameras)),
      flowMs_(static_cast<uint32_t>(flowSeconds * 1000.0f)),
      progress_(progress) {
  Vec3 at = sim_.EntityPosition(AsEntity(ped_.ped));
  BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
  player_ = sim_.AddPed(at + frame.front * kPlayerDistance);
  sim_.player = player_;
  attacker_ = sim_.AddPed(at + frame.front * kMeleeDistance);
  sim_.clock = kStartMs;
}

void ScenarioPlayer::Play(const Scenario& scenario, const std::vector<float>& times) {
  total_ = times.empty() ? 0.0f : times.back();
  StartFilming(scenario, times);
  for (size_t i = 0; i < scenario.events.size(); ++i) {
    AdvanceTo(EventMs(times[i]));
    Run(scenario.events[i]);
  }
  if (snapshots_.empty()) TakeSnapshot("end of the scenario");
}

float ScenarioPlayer::Seconds() const {
  return static_cast<float>(sim_.clock - kStartMs) / 1000.0f;
}

// The animation films from the first hit while the wounds flow.
void ScenarioPlayer::StartFilming(const Scenario& scenario, const std::vector<float>& times) {
  for (size_t i = 0; i < scenario.events.size(); ++i) {
    if (IsHit(scenario.events[i].kind) && nextFrameMs_ == 0) {
      nextFrameMs_ = EventMs(times[i]);
      lastFrameMs_ =
          nextFrameMs_ + std::min<uint32_t>(flowMs_ + 2000, kMaxFlowFrames * kFrameStepMs);
    }
  }
}

void ScenarioPlayer::AdvanceTo(uint32_t targetMs) {
  using Clock = std::chrono::steady_clock;
  auto lastReport = Clock::now();
  while (sim_.clock < targetMs) {
    CheckStop();
    uint32_t step = std::min(kChunkMs, targetMs - sim_.clock);
    const bool filming = sim_.clock < nextFrameMs_ && nextFrameMs_ <= lastFrameMs_;
    if (filming) step = std::min(step, nextFrameMs_ - sim_.clock);
    RunFrames(step);
    if (filming && sim_.clock == nextFrameMs_) {
      AddFrame(kFrameDelayMs);
      nextFrameMs_ += kFrameStepMs;
    }
    if (Clock::now() - lastReport > std::chrono::milliseconds(500)) {
      lastReport = Clock::now();
      progress_ << "  ... simulating " << std::fixed << std::setprecision(1) << Seconds() << " of "
                << total_ << " s" << std::endl;
    }
  }
}

// Frame by frame, each rendered as the game renders the ped: the blood pass brings
// textures up to date a little every frame, not all at once for a picture.
void ScenarioPlayer::RunFrames(uint32_t step) {
  for (uint32_t done = 0; done < step;) {
    const uint32_t frame = std::min(kFrameMs, step - done);
    sim_.RunFor(frame, frame);
    done += frame;
    if (!removed_) sim_.GameRenderPed(ped_.ped);
    sim_.draws.clear();
  }
}

void ScenarioPlayer::Report(const ScenarioEvent& event, const std::string& what) {
  progress_ << std::setw(9) << std::fixed << std::setprecision(2) << Seconds() << " s  "
            << ScenarioKindName(event.kind) << " " << what << std::endl;
}

// Where shots at the part aim (body_targets.h). Aims keep a little off the centre line,
// where the mirrored halves of a model meet: a ray exactly along that seam may slip
// between its triangles.
Vec3 ScenarioPlayer::PartPoint(const BodyPart& part) {
  return BodyTarget(sim_, ped_.ped, part) + PedBodyFrame(sim_, ped_.ped).right * kAimAside;
}

HostDamage* ScenarioPlayer::Damage(HostPed* damager, float factor, int32_t piece, int32_t weapon) {
  return sim_.AddDamage(damager ? AsEntity(damager) : nullptr, factor, static_cast<uint8_t>(piece),
                        weapon);
}

void ScenarioPlayer::Run(const ScenarioEvent& event) {
  if (removed_ && event.kind != EventKind::Snapshot && event.kind != EventKind::Camera &&
      event.kind != EventKind::Ini) {
    Report(event, "skipped: the ped was removed");
    return;
  }
  switch (event.kind) {
    case EventKind::Shot:
      return Shoot(event);
    case EventKind::Melee:
      return Strike(event);
    case EventKind::Explosion:
      return Explode(event);
    case EventKind::Fall:
      return Fall(event);
    case EventKind::Death:
      return Die(event);
    case EventKind::Pose:
      return Pose(event);
    case EventKind::Snapshot:
      TakeSnapshot(event.text.empty() ? "snapshot" : event.text);
      return Report(event, event.text);
    case EventKind::Camera:
      return Report(event, event.text);
    case EventKind::Remove:
      return Remove(event);
    case EventKind::Ini:  // in force since start-up
      return;
  }
}

void ScenarioPlayer::Shoot(const ScenarioEvent& event) {
  const bool alive = sim_.PedHealth(ped_.ped) > 0.0f;
  sim_.AimAt(PartPoint(*event.part));
  sim_.GameFire(sim_.AddWeapon(event.weapon), player_);
  // The game reports hits on the living; corpses only see the shot.
  if (alive) {
    sim_.GameDamage(Damage(player_, kHitFactor, event.part->piece, event.weapon),
                    AsEntity(ped_.ped));
  }
  Report(event, event.weaponName + " " + event.part->name + (alive ? "" : " (corpse)"));
}

void ScenarioPlayer::Strike(const ScenarioEvent& event) {
  HostEntity* victim = AsEntity(ped_.ped);
  BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
  SimHost::Sim(attacker_)->position = sim_.EntityPosition(victim) + frame.front * kMeleeDistance;
  sim_.GameDamage(Damage(attacker_, kHitFactor, event.part->piece, event.weapon), victim);
  Report(event, event.weaponName + " " + event.part->name);
}

void ScenarioPlayer::Explode(const ScenarioEvent& event) {
  HostEntity* victim = AsEntity(ped_.ped);
  BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
  sim_.explosionActive[0] = true;
  sim_.explosionPosition[0] = sim_.EntityPosition(victim) + frame.front * event.distance;
  sim_.GameDamage(Damage(nullptr, kHitFactor, 3, event.weapon), victim);
  sim_.explosionActive[0] = false;
  std::ostringstream what;
  what << event.weaponName << " " << event.distance << " m in front";
  Report(event, what.str());
}

void ScenarioPlayer::Fall(const ScenarioEvent& event) {
  ped_.pose(event.pose);
  sim_.GameDamage(Damage(nullptr, kFallFactor, 3, 54), AsEntity(ped_.ped));
  Report(event, event.pose == ScenarioPose::Lying ? "landing lying" : "landing standing");
}

void ScenarioPlayer::Die(const ScenarioEvent& event) {
  SimHost::Sim(ped_.ped)->health = 0.0f;
  ped_.pose(event.pose);
  Report(event, event.pose == ScenarioPose::Lying ? "lying" : "standing");
}

void ScenarioPlayer::Pose(const ScenarioEvent& event) {
  ped_.pose(event.pose);
  Report(event, PoseWord(event.pose));
}

void ScenarioPlayer::Remove(const ScenarioEvent& event) {
  sim_.GameRemovePed(ped_.ped);
  removed_ = true;
  Report(event, "");
}

// Pictures of the ped as the game renders it now, one per camera.
std::vector<Image> ScenarioPlayer::Pictures(const std::vector<std::string>& cameras, int width,
                                            int height, int supersample) {
  CheckStop();
  std::vector<Image> pictures;
  sim_.draws.clear();
  if (!removed_) sim_.GameRenderPed(ped_.ped);
  BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
  for (const std::string& name : cameras) {
    Camera camera;
    NamedCamera(name, frame, &camera);
    Canvas canvas =
        RenderPed(sim_, ped_.ped, sim_.draws, camera, width * supersample, height * supersample);
    pictures.push_back(Downsample(ToImage(canvas), supersample));
  }
  sim_.draws.clear();
  return pictures;
}

void ScenarioPlayer::AddFrame(int delayMs) {
  Image image = std::move(Pictures({"front"}, kFrameWidth, kFrameHeight, 1)[0]);
  std::ostringstream time;
  time << std::fixed << std::setprecision(1) << Seconds() << " s";
  DrawText(image, 4, 4, time.str(), 1, kFrameTextColour);
  frames_.push_back({std::move(image), delayMs});
}

void ScenarioPlayer::TakeSnapshot(const std::string& caption) {
  snapshots_.push_back(
      {Seconds(), caption, Pictures(cameras_, kPictureWidth, kPictureHeight, kSupersample)});
  // Later moments (drying, the corpse) follow the flow in the animation, held longer.
  if (nextFrameMs_ != 0 && sim_.clock > lastFrameMs_) AddFrame(kHoldDelayMs);
}
