#include "preview_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "body_targets.h"
#include "contact_sheet.h"
#include "output_folder.h"
#include "ped_renderer.h"
#include "plugin/handlers.h"
#include "plugin/system_state.h"
#include "plugin/vermiltrace.h"
#include "png_output.h"
#include "preview_ped.h"
#include "scenario.h"
#include "seam_crop.h"
#include "texel_reuse.h"
#include "wounds/blood_state.h"

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t stopSignal = 0;

}  // namespace

void StopPreview(int signal) { stopSignal = signal; }

void CheckStop() {
  if (stopSignal != 0) {
    throw PreviewError("stopped by signal " + std::to_string(stopSignal) + "; nothing was written",
                       128 + stopSignal);
  }
}

namespace {

constexpr uint32_t kStartMs = 1000;  // the game has been running a moment already
constexpr uint32_t kFrameMs = 33;
constexpr uint32_t kChunkMs = 30 * kFrameMs;
constexpr int kPictureWidth = 220;
constexpr int kPictureHeight = 400;
constexpr int kSupersample = 2;
constexpr size_t kSnapshotsPerRow = 6;
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
// Above this share of texture space painted for two places, the run warns.
constexpr double kReuseWarning = 0.03;
constexpr double kPercent = 100.0;

std::string PathText(const fs::path& path) { return path.string(); }

// The whole file, or PreviewError "FILE: cannot read WHAT". Reading stops one byte past
// the limit, so an endless input (/dev/zero, a pipe that keeps writing) is refused at once.
std::string ReadInput(const std::string& path, const char* what) {
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw PreviewError(path + ": cannot read the " + what + ": it is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PreviewError(path + ": cannot read the " + what + ": no such file or no access");
  std::string bytes(kMaxTextInputBytes + 1, '\0');
  in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) throw PreviewError(path + ": cannot read the " + what);
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (bytes.size() > kMaxTextInputBytes) {
    throw PreviewError(path + ": the " + what + " is larger than " +
                       std::to_string(kMaxTextInputBytes >> 20) + " MiB; refused");
  }
  return bytes;
}

// Models are read by the importer itself: only a plain file of bounded size is handed on.
void CheckModelFile(const std::string& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw PreviewError(path + ": cannot read the model: it is a directory");
  }
  if (!std::ifstream(path, std::ios::binary)) {
    throw PreviewError(path + ": cannot read the model: no such file or no access");
  }
  const bool plain = fs::is_regular_file(path, error);
  const uintmax_t size = plain ? fs::file_size(path, error) : 0;
  if (!plain || error) throw PreviewError(path + ": cannot read the model: not a plain file");
  if (size > kMaxModelBytes) {
    throw PreviewError(path + ": the model is larger than " + std::to_string(kMaxModelBytes >> 20) +
                       " MiB; refused");
  }
}

// The system as the game holds it: started on the simulated host, shut down and the
// process state cleared however the run ends.
struct Session {
  std::unique_ptr<SimHost> sim = std::make_unique<SimHost>();
  std::optional<Vermiltrace> system;

  ~Session() { Close(); }
  void Close() {
    system.reset();
    ResetSystemState();
  }
};

struct Snapshot {
  float time;
  std::string caption;
  std::vector<Image> pictures;  // one per camera
};

class ScenarioPlayer {
 public:
  ScenarioPlayer(SimHost& sim, PreviewPed& ped, std::vector<std::string> cameras, float flowSeconds,
                 std::ostream& progress)
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

  void Play(const Scenario& scenario, const std::vector<float>& times) {
    total_ = times.empty() ? 0.0f : times.back();
    for (size_t i = 0; i < scenario.events.size(); ++i) {
      const EventKind kind = scenario.events[i].kind;
      const bool hit = kind == EventKind::Shot || kind == EventKind::Melee ||
                       kind == EventKind::Explosion || kind == EventKind::Fall;
      if (hit && nextFrameMs_ == 0) {
        nextFrameMs_ = kStartMs + static_cast<uint32_t>(times[i] * 1000.0f + 0.5f);
        lastFrameMs_ =
            nextFrameMs_ + std::min<uint32_t>(flowMs_ + 2000, kMaxFlowFrames * kFrameStepMs);
      }
    }
    for (size_t i = 0; i < scenario.events.size(); ++i) {
      AdvanceTo(kStartMs + static_cast<uint32_t>(times[i] * 1000.0f + 0.5f));
      Run(scenario.events[i]);
    }
    if (snapshots_.empty()) TakeSnapshot("end of the scenario");
  }

  const std::vector<Snapshot>& Snapshots() const { return snapshots_; }
  const std::vector<AnimationFrame>& Frames() const { return frames_; }
  bool Removed() const { return removed_; }

 private:
  float Seconds() const { return static_cast<float>(sim_.clock - kStartMs) / 1000.0f; }

  void AdvanceTo(uint32_t targetMs) {
    using Clock = std::chrono::steady_clock;
    auto lastReport = Clock::now();
    while (sim_.clock < targetMs) {
      CheckStop();
      uint32_t step = std::min(kChunkMs, targetMs - sim_.clock);
      const bool filming = sim_.clock < nextFrameMs_ && nextFrameMs_ <= lastFrameMs_;
      if (filming) step = std::min(step, nextFrameMs_ - sim_.clock);
      // Frame by frame, each rendered as the game renders the ped: the blood pass brings
      // textures up to date a little every frame, not all at once for a picture.
      for (uint32_t done = 0; done < step;) {
        const uint32_t frame = std::min(kFrameMs, step - done);
        sim_.RunFor(frame, frame);
        done += frame;
        if (!removed_) sim_.GameRenderPed(ped_.ped);
        sim_.draws.clear();
      }
      if (filming && sim_.clock == nextFrameMs_) {
        AddFrame(kFrameDelayMs);
        nextFrameMs_ += kFrameStepMs;
      }
      if (Clock::now() - lastReport > std::chrono::milliseconds(500)) {
        lastReport = Clock::now();
        progress_ << "  ... simulating " << std::fixed << std::setprecision(1) << Seconds()
                  << " of " << total_ << " s" << std::endl;
      }
    }
  }

  void Report(const ScenarioEvent& event, const std::string& what) {
    progress_ << std::setw(9) << std::fixed << std::setprecision(2) << Seconds() << " s  "
              << ScenarioKindName(event.kind) << " " << what << std::endl;
  }

  // Where shots at the part aim (body_targets.h). Aims keep a little off the centre line,
  // where the mirrored halves of a model meet: a ray exactly along that seam may slip
  // between its triangles.
  Vec3 PartPoint(const BodyPart& part) {
    return BodyTarget(sim_, ped_.ped, part) + PedBodyFrame(sim_, ped_.ped).right * kAimAside;
  }

  HostDamage* Damage(HostPed* damager, float factor, int32_t piece, int32_t weapon) {
    return sim_.AddDamage(damager ? AsEntity(damager) : nullptr, factor,
                          static_cast<uint8_t>(piece), weapon);
  }

  void Run(const ScenarioEvent& event) {
    if (removed_ && event.kind != EventKind::Snapshot && event.kind != EventKind::Camera &&
        event.kind != EventKind::Ini) {
      Report(event, "skipped: the ped was removed");
      return;
    }
    HostEntity* victim = AsEntity(ped_.ped);
    switch (event.kind) {
      case EventKind::Shot: {
        bool alive = sim_.PedHealth(ped_.ped) > 0.0f;
        sim_.AimAt(PartPoint(*event.part));
        sim_.GameFire(sim_.AddWeapon(event.weapon), player_);
        // The game reports hits on the living; corpses only see the shot.
        if (alive)
          sim_.GameDamage(Damage(player_, kHitFactor, event.part->piece, event.weapon), victim);
        Report(event, event.weaponName + " " + event.part->name + (alive ? "" : " (corpse)"));
        break;
      }
      case EventKind::Melee: {
        BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
        SimHost::Sim(attacker_)->position =
            sim_.EntityPosition(victim) + frame.front * kMeleeDistance;
        sim_.GameDamage(Damage(attacker_, kHitFactor, event.part->piece, event.weapon), victim);
        Report(event, event.weaponName + " " + event.part->name);
        break;
      }
      case EventKind::Explosion: {
        BodyFrame frame = PedBodyFrame(sim_, ped_.ped);
        sim_.explosionActive[0] = true;
        sim_.explosionPosition[0] = sim_.EntityPosition(victim) + frame.front * event.distance;
        sim_.GameDamage(Damage(nullptr, kHitFactor, 3, event.weapon), victim);
        sim_.explosionActive[0] = false;
        std::ostringstream what;
        what << event.weaponName << " " << event.distance << " m in front";
        Report(event, what.str());
        break;
      }
      case EventKind::Fall:
        ped_.pose(event.pose);
        sim_.GameDamage(Damage(nullptr, kFallFactor, 3, 54), victim);
        Report(event, event.pose == ScenarioPose::Lying ? "landing lying" : "landing standing");
        break;
      case EventKind::Death:
        SimHost::Sim(ped_.ped)->health = 0.0f;
        ped_.pose(event.pose);
        Report(event, event.pose == ScenarioPose::Lying ? "lying" : "standing");
        break;
      case EventKind::Pose:
        ped_.pose(event.pose);
        Report(event, event.pose == ScenarioPose::Lying        ? "lying"
                      : event.pose == ScenarioPose::ArmsRaised ? "arms raised"
                                                               : "standing");
        break;
      case EventKind::Snapshot:
        TakeSnapshot(event.text.empty() ? "snapshot" : event.text);
        Report(event, event.text);
        break;
      case EventKind::Camera:
        Report(event, event.text);
        break;
      case EventKind::Remove:
        sim_.GameRemovePed(ped_.ped);
        removed_ = true;
        Report(event, "");
        break;
      case EventKind::Ini:  // in force since start-up
        break;
    }
  }

  // Pictures of the ped as the game renders it now, one per camera.
  std::vector<Image> Pictures(const std::vector<std::string>& cameras, int width, int height,
                              int supersample) {
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

  void AddFrame(int delayMs) {
    Image image = std::move(Pictures({"front"}, kFrameWidth, kFrameHeight, 1)[0]);
    std::ostringstream time;
    time << std::fixed << std::setprecision(1) << Seconds() << " s";
    DrawText(image, 4, 4, time.str(), 1, kFrameTextColour);
    frames_.push_back({std::move(image), delayMs});
  }

  void TakeSnapshot(const std::string& caption) {
    snapshots_.push_back(
        {Seconds(), caption, Pictures(cameras_, kPictureWidth, kPictureHeight, kSupersample)});
    // Later moments (drying, the corpse) follow the flow in the animation, held longer.
    if (nextFrameMs_ != 0 && sim_.clock > lastFrameMs_) AddFrame(kHoldDelayMs);
  }

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

// The game bones the system aims at or wounds that the ped's skeleton lacks, said in one
// line; empty when it has them all.
std::string MissingBonesNote(SimHost& sim, const PreviewPed& ped) {
  static const int32_t kUsed[] = {1,  2,  3,  4,  5,  21, 22, 23, 24, 31,
                                  32, 33, 34, 41, 42, 43, 51, 52, 53};
  std::string missing;
  size_t count = 0;
  for (int32_t bone : kUsed) {
    Vec3 ignored;
    if (!FindBone(sim, ped.ped, bone, &ignored)) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(bone);
      ++count;
    }
  }
  if (count == std::size(kUsed)) {
    return "no usable joints: its hits are placed by height and side on the upright model "
           "(head near the top, chest, arms to the sides, knees, feet)";
  }
  if (missing.empty()) return "";
  return "no joints for the game's bones " + missing +
         " (map them with --bones; until then those hits are placed by height and side)";
}

std::string FileFriendly(const std::string& name) {
  std::string out;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_';
    out.push_back(plain ? c : '_');
  }
  return out.empty() ? "mesh" : out;
}

std::string MaskFileName(const std::string& meshName, const MaskLayer& layer) {
  return FileFriendly(meshName) + "-material" + std::to_string(layer.materialIndex) + ".png";
}

// The masks of the ped's layers as grey PNG files, and the run's counts.
PreviewSummary WriteMasks(const PreviewPed& ped, bool removed, const fs::path& dir) {
  PreviewSummary summary;
  summary.memoryEvictions = State().tables.memoryEvictions;
  const int32_t height = Config().MaskSize;
  const int32_t width = 2 * height;
  const size_t textureBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  for (const auto& entry : State().tables.bloodStates) {
    summary.wounds += entry.second.woundCounter;
    for (const MaskLayer& layer : entry.second.layers) {
      ++summary.layers;
      const std::vector<uint8_t> amounts = MaskBytes(layer.mask);
      summary.maskBytes += static_cast<int64_t>(layer.mask.tilesMade * kMaskTileBytes);
      summary.paintedTexels +=
          std::count_if(amounts.begin(), amounts.end(), [](uint8_t t) { return t > 0; });
      if (layer.texture) summary.textureBytes += static_cast<int64_t>(textureBytes);
      if (removed || entry.first != ped.ped) continue;
      auto name = ped.meshNames.find(layer.mesh);
      std::string file = MaskFileName(name != ped.meshNames.end() ? name->second : "mesh", layer);
      if (amounts.size() != static_cast<size_t>(width) * static_cast<size_t>(height) ||
          !WriteGreyPng(PathText(dir / file), width, height, amounts.data())) {
        throw PreviewError(PathText(dir / file) + ": cannot write the mask");
      }
      ++summary.masks;
    }
  }
  return summary;
}

// Why a run painted no blood, for its summary; empty when it painted some.
std::string NothingPaintedReason(const PreviewSummary& summary, const Scenario& scenario) {
  if (summary.paintedTexels > 0) return "";
  const bool hits =
      std::any_of(scenario.events.begin(), scenario.events.end(), [](const ScenarioEvent& e) {
        return e.kind == EventKind::Shot || e.kind == EventKind::Melee ||
               e.kind == EventKind::Explosion || e.kind == EventKind::Fall;
      });
  if (!hits) return "nothing was painted: the scenario has no shot, melee, explosion or fall";
  if (summary.memoryEvictions > 0) {
    return "nothing was painted: BloodMemory evicted the ped's blood to stay within its "
           "budget (see Vermiltrace.log)";
  }
  if (summary.wounds == 0)
    return "nothing was painted: no hit found the ped's mesh (see Vermiltrace.log)";
  return "nothing was painted: the wounds left no blood in the masks (see Vermiltrace.log)";
}

// The warning for a model whose texture space one wound paints in several places; empty
// below kReuseWarning.
std::string ReuseNote(const TexelReuse& reuse) {
  const double share = ReusedShare(reuse);
  if (share <= kReuseWarning) return "";
  std::ostringstream note;
  note << std::lround(share * kPercent)
       << " % of its blood masks' texels lie under two or more triangles: blood will show in "
          "more than one place";
  return note.str();
}

std::string SummaryJson(const PreviewSummary& s, const std::string& nothing,
                        const std::string& pose, const TexelReuse& reuse) {
  std::ostringstream json;
  json << "{\n"
       << "  \"wounds\": " << s.wounds << ",\n"
       << "  \"layers\": " << s.layers << ",\n"
       << "  \"painted_texels\": " << s.paintedTexels << ",\n"
       << "  \"mask_bytes\": " << s.maskBytes << ",\n"
       << "  \"texture_bytes\": " << s.textureBytes << ",\n"
       << "  \"reused_texels\": " << std::fixed << std::setprecision(4) << ReusedShare(reuse)
       << ",\n"
       << "  \"mirror_straddling_triangles\": " << reuse.straddling << ",\n"
       << "  \"pose\": \"" << pose << "\",\n"
       << "  \"memory_evictions\": " << s.memoryEvictions << ",\n"
       << "  \"painted\": " << (nothing.empty() ? "true" : "false") << ",\n"
       << "  \"note\": \"" << nothing << "\"\n"
       << "}\n";
  return json.str();
}

std::string Seconds(float seconds) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(seconds < 10.0f ? 1 : 0) << seconds << " s";
  return text.str();
}

// The seam margin's close-up of the ped's masks as two cells, before and after; none when
// the margin put no blood outside the texture's islands.
std::vector<SheetCell> SeamCells(const PreviewPed& ped, bool removed) {
  const PedBloodState* state = removed ? nullptr : FindBloodState(State().tables, ped.ped);
  SeamCrop crop;
  if (!state || !FindSeamCrop(Context(), state->layers, crop)) return {};
  const MaskLayer& layer = state->layers[crop.layer];
  auto name = ped.meshNames.find(layer.mesh);
  std::ostringstream where;
  where << "masks/" << MaskFileName(name != ped.meshNames.end() ? name->second : "mesh", layer)
        << " at x " << crop.x << ", y " << crop.y << ", enlarged " << kSeamCropScale << " times: ";
  std::ostringstream margin;
  margin << "SeamMargin " << Config().SeamMargin;
  return {{crop.before, where.str() + "the texels the painter writes, as with SeamMargin 0 "
                                      "(blue: outside the texture's islands)"},
          {crop.after, "the same with " + margin.str() + ": " + std::to_string(crop.outside) +
                           " texels past the islands' edges take the blood beside them"}};
}

Image ContactSheet(const std::vector<Snapshot>& snapshots, const std::vector<std::string>& cameras,
                   const std::vector<std::string>& title, const std::vector<SheetCell>& extra) {
  std::vector<SheetCell> cells;
  size_t columns = std::min(kSnapshotsPerRow, std::max<size_t>(1, snapshots.size()));
  for (size_t block = 0; block < snapshots.size(); block += columns) {
    for (size_t c = 0; c < cameras.size(); ++c) {
      for (size_t s = block; s < block + columns; ++s) {
        if (s >= snapshots.size()) {
          cells.push_back({Image{}, ""});
          continue;
        }
        cells.push_back({snapshots[s].pictures[c], Seconds(snapshots[s].time) + ", " + cameras[c] +
                                                       ": " + snapshots[s].caption});
      }
    }
  }
  // On a row of their own.
  cells.insert(cells.end(), extra.begin(), extra.end());
  return ComposeContactSheet(title, cells, static_cast<int>(columns));
}

}  // namespace

std::string FindShippedIni(const std::string& programDir) {
  std::vector<fs::path> candidates;
  if (!programDir.empty()) candidates.push_back(fs::path(programDir) / "Vermiltrace.ini");
  candidates.push_back("Vermiltrace.ini");
  candidates.push_back(fs::path("package") / "Vermiltrace.ini");
#ifdef VT_SOURCE_INI
  candidates.push_back(VT_SOURCE_INI);
#endif
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate.string();
  }
  return "";
}

PreviewSummary RunPreview(const PreviewOptions& options, std::ostream& progress) {
  auto started = std::chrono::steady_clock::now();

  // Every input is read and checked before anything is written.
  const bool builtInScenario = options.scenario.empty();
  Scenario scenario =
      builtInScenario ? ParseScenario(DefaultScenarioText(), "built-in scenario")
                      : ParseScenario(ReadInput(options.scenario, "scenario"), options.scenario);
  const std::string iniPath =
      options.ini.empty() ? FindShippedIni(options.programDir) : options.ini;
  const std::string iniBytes = iniPath.empty() ? "" : ReadInput(iniPath, "ini file");
  if (!options.bones.empty() && options.model.empty()) {
    throw PreviewError(options.bones + ": a bone mapping needs a model (--model FILE)");
  }
  if ((!options.up.empty() || !options.facing.empty()) && options.model.empty()) {
    throw PreviewError("--up and --facing turn a model: they need one (--model FILE)");
  }
  if (!options.model.empty()) {
    CheckModelFile(options.model);
    if (!options.bones.empty()) ReadInput(options.bones, "bone mapping");
  }

  // The ped is loaded before the output is staged: a model that cannot be shown leaves
  // nothing to clean up. The staged output outlives the session, which holds its log open.
  std::optional<StagedOutput> output;
  Session session;
  ResetSystemState();
  SimHost& sim = *session.sim;
  PreviewPed ped = options.model.empty() ? LoadBuiltInPed(sim)
                                         : LoadModelPed(sim, options.model, options.bones,
                                                        options.up, options.facing);
  CheckStop();

  output.emplace(options.out, options.force);
  const fs::path plugin = output->Dir() / "plugin";
  const fs::path masks = output->Dir() / "masks";
  std::error_code error;
  fs::create_directories(plugin, error);
  fs::create_directories(masks, error);
  if (error) throw PreviewError(PathText(output->Dir()) + ": cannot create directories in it");
  const std::string overrides = IniOverrideList(scenario);
  if (!iniPath.empty() || !overrides.empty()) {
    WriteOutput(plugin / "Vermiltrace.ini", ApplyIniOverrides(iniBytes, scenario));
  }

  StartupOptions startup;
  startup.pluginDirectory = PathText(plugin / "");
  startup.tickCount = [seed = options.seed] { return seed; };  // the seed stands for the ticks
  session.system.emplace(sim, startup);
  const BloodConfig config = Config();
  std::string iniName = iniPath.empty() ? "compiled-in defaults (no ini found)" : iniPath;
  std::vector<float> times = ResolveEventTimes(scenario, config, iniName);

  std::string scenarioName = builtInScenario ? "built-in scenario" : options.scenario;
  progress << "vermiltrace-preview: " << ped.description << " in its " << ped.poseName << ", ini "
           << iniName << ", " << scenarioName << ", seed " << options.seed << std::endl;
  if (!overrides.empty()) progress << "the scenario sets " << overrides << std::endl;
  for (const std::string& note : ped.notes) progress << "warning: " << note << std::endl;

  std::string missing = MissingBonesNote(sim, ped);
  if (!missing.empty())
    progress << "warning: " << ped.description << " has " << missing << std::endl;
  const TexelReuse reuse = MeasureTexelReuse(sim, ped.ped, config.MaskSize);
  const std::string reused = ReuseNote(reuse);
  if (!reused.empty()) progress << "warning: " << ped.description << ": " << reused << std::endl;

  std::vector<std::string> cameras = ScenarioCameras(scenario);
  ScenarioPlayer player(sim, ped, cameras, config.FlowTime, progress);
  player.Play(scenario, times);

  PreviewSummary summary = WriteMasks(ped, player.Removed(), masks);
  const std::vector<SheetCell> seams = SeamCells(ped, player.Removed());
  session.Close();

  std::ostringstream settings;
  settings << "MaskSize " << config.MaskSize << ", SeamMargin " << config.SeamMargin
           << ", FlowTime " << config.FlowTime << " s, DryTime " << config.DryTime
           << " s, CorpseBleedTime " << config.CorpseBleedTime << " s, Drips " << config.Drips
           << ", ExitWounds " << config.ExitWounds << ", seed " << options.seed;
  std::vector<std::string> title = {
      "Vermiltrace preview: " + ped.description + " in its " + ped.poseName + ", " + scenarioName,
      "ini: " + iniName, settings.str()};
  if (!overrides.empty()) title.push_back("the scenario sets " + overrides + " over the ini");
  if (!missing.empty()) title.push_back("model has " + missing);
  if (!reused.empty()) title.push_back(reused);
  const std::string nothing = NothingPaintedReason(summary, scenario);
  if (!nothing.empty()) title.push_back(nothing);
  Image sheet = ContactSheet(player.Snapshots(), cameras, title, seams);
  if (!WritePng(PathText(output->Dir() / "contact-sheet.png"), sheet)) {
    throw PreviewError(PathText(output->Dir() / "contact-sheet.png") + ": cannot write");
  }
  summary.pictures = static_cast<int>(player.Snapshots().size() * cameras.size() + seams.size());
  summary.frames = static_cast<int>(player.Frames().size());
  if (!player.Frames().empty() &&
      !WriteAnimatedPng(PathText(output->Dir() / "animation.png"), player.Frames())) {
    throw PreviewError(PathText(output->Dir() / "animation.png") + ": cannot write");
  }

  fs::rename(plugin / "Vermiltrace.log", output->Dir() / "Vermiltrace.log", error);
  if (error) WriteOutput(output->Dir() / "Vermiltrace.log", "");  // the ini turned the log off
  fs::remove_all(plugin, error);
  WriteOutput(output->Dir() / "summary.json", SummaryJson(summary, nothing, ped.poseName, reuse));
  output->Commit();

  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  progress << "wrote " << options.out << ": contact-sheet.png (" << summary.pictures
           << " pictures), "
           << (summary.frames ? "animation.png (" + std::to_string(summary.frames) + " frames), "
                              : "")
           << summary.masks << " masks, Vermiltrace.log, summary.json in " << std::fixed
           << std::setprecision(1) << elapsed << " s" << (nothing.empty() ? "" : "; " + nothing)
           << std::endl;
  return summary;
}
