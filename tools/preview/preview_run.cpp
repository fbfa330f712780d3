#include "preview_run.h"

#include <chrono>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "host/sim/sim_host.h"
#include "plugin/system_state.h"
#include "plugin/vermiltrace.h"
#include "png_output.h"
#include "preview_ped.h"
#include "run_notes.h"
#include "run_writers.h"
#include "scenario.h"
#include "scenario_player.h"
#include "texel_reuse.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::string PathText(const fs::path& path) { return path.string(); }

// Every input, read and checked before anything is written.
struct RunInputs {
  Scenario scenario;
  std::string scenarioName;
  std::string iniPath;  // empty: none found, the compiled-in defaults apply
  std::string iniBytes;
  std::string iniName;    // for messages
  std::string overrides;  // the scenario's own ini values, in one line
};

RunInputs ReadInputs(const PreviewOptions& options) {
  RunInputs in;
  const bool builtIn = options.scenario.empty();
  in.scenarioName = builtIn ? "built-in scenario" : options.scenario;
  in.scenario = builtIn ? ParseScenario(DefaultScenarioText(), "built-in scenario")
                        : ParseScenario(ReadInput(options.scenario, "scenario"), options.scenario);
  in.iniPath = options.ini.empty() ? FindShippedIni(options.programDir) : options.ini;
  in.iniBytes = in.iniPath.empty() ? "" : ReadInput(in.iniPath, "ini file");
  in.iniName = in.iniPath.empty() ? "compiled-in defaults (no ini found)" : in.iniPath;
  in.overrides = IniOverrideList(in.scenario);
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
  return in;
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

// The system reads the run's ini and writes its log straight into the staged output;
// the seed stands for the tick count it is seeded with.
StartupOptions SystemOptions(const fs::path& pluginFolder, const fs::path& log, uint32_t seed) {
  StartupOptions options;
  options.pluginDirectory = PathText(pluginFolder / "");
  options.iniPath = PathText(pluginFolder / "Vermiltrace.ini");
  options.logPath = PathText(log);
  options.tickCount = [seed] { return seed; };
  return options;
}

// What the run found out about the ped before playing the scenario.
struct PedNotes {
  std::string missing;  // bones its skeleton lacks
  TexelReuse reuse;
  std::string reused;  // the warning about its texture space
};

PedNotes NotePed(SimHost& sim, const PreviewPed& ped, const BloodConfig& config,
                 std::ostream& progress) {
  PedNotes notes;
  for (const std::string& note : ped.notes) progress << "warning: " << note << std::endl;
  notes.missing = MissingBonesNote(sim, ped);
  if (!notes.missing.empty())
    progress << "warning: " << ped.description << " has " << notes.missing << std::endl;
  notes.reuse = MeasureTexelReuse(sim, ped.ped, config.MaskSize);
  notes.reused = ReuseNote(notes.reuse);
  if (!notes.reused.empty())
    progress << "warning: " << ped.description << ": " << notes.reused << std::endl;
  return notes;
}

void ReportStart(std::ostream& progress, const RunInputs& in, const PreviewPed& ped,
                 uint32_t seed) {
  progress << "vermiltrace-preview: " << ped.description << " in its " << ped.poseName << ", ini "
           << in.iniName << ", " << in.scenarioName << ", seed " << seed << std::endl;
  if (!in.overrides.empty()) progress << "the scenario sets " << in.overrides << std::endl;
}

std::vector<std::string> TitleLines(const RunInputs& in, const PreviewPed& ped,
                                    const BloodConfig& config, uint32_t seed, const PedNotes& notes,
                                    const std::string& nothing) {
  std::ostringstream settings;
  settings << "MaskSize " << config.MaskSize << ", SeamMargin " << config.SeamMargin
           << ", FlowTime " << config.FlowTime << " s, DryTime " << config.DryTime
           << " s, CorpseBleedTime " << config.CorpseBleedTime << " s, Drips " << config.Drips
           << ", ExitWounds " << config.ExitWounds << ", seed " << seed;
  std::vector<std::string> title = {"Vermiltrace preview: " + ped.description + " in its " +
                                        ped.poseName + ", " + in.scenarioName,
                                    "ini: " + in.iniName, settings.str()};
  if (!in.overrides.empty()) title.push_back("the scenario sets " + in.overrides + " over the ini");
  if (!notes.missing.empty()) title.push_back("model has " + notes.missing);
  if (!notes.reused.empty()) title.push_back(notes.reused);
  if (!nothing.empty()) title.push_back(nothing);
  return title;
}

// contact-sheet.png and animation.png, counted into summary.
void WritePictures(const fs::path& dir, const ScenarioPlayer& player,
                   const std::vector<std::string>& cameras, const std::vector<std::string>& title,
                   const std::vector<SheetCell>& seams, PreviewSummary& summary) {
  Image sheet = ContactSheet(player.Snapshots(), cameras, title, seams);
  if (!WritePng(PathText(dir / "contact-sheet.png"), sheet)) {
    throw PreviewError(PathText(dir / "contact-sheet.png") + ": cannot write");
  }
  summary.pictures = static_cast<int>(player.Snapshots().size() * cameras.size() + seams.size());
  summary.frames = static_cast<int>(player.Frames().size());
  if (!player.Frames().empty() &&
      !WriteAnimatedPng(PathText(dir / "animation.png"), player.Frames())) {
    throw PreviewError(PathText(dir / "animation.png") + ": cannot write");
  }
}

void ReportWritten(std::ostream& progress, const std::string& out, const PreviewSummary& summary,
                   const std::string& nothing, Clock::time_point started) {
  double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  progress << "wrote " << out << ": contact-sheet.png (" << summary.pictures << " pictures), "
           << (summary.frames ? "animation.png (" + std::to_string(summary.frames) + " frames), "
                              : "")
           << summary.masks << " masks, Vermiltrace.log, summary.json in " << std::fixed
           << std::setprecision(1) << elapsed << " s" << (nothing.empty() ? "" : "; " + nothing)
           << std::endl;
}

}  // namespace

PreviewSummary RunPreview(const PreviewOptions& options, std::ostream& progress) {
  const Clock::time_point started = Clock::now();
  const RunInputs in = ReadInputs(options);

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
  const fs::path plugin = output->Folder("plugin");  // the ini only; removed before the commit
  const fs::path masks = output->Folder("masks");
  const fs::path log = output->Dir() / "Vermiltrace.log";
  if (!in.iniPath.empty() || !in.overrides.empty()) {
    WriteOutput(plugin / "Vermiltrace.ini", ApplyIniOverrides(in.iniBytes, in.scenario));
  }
  session.system.emplace(sim, SystemOptions(plugin, log, options.seed));
  const BloodConfig config = Config();
  const std::vector<float> times = ResolveEventTimes(in.scenario, config, in.iniName);

  ReportStart(progress, in, ped, options.seed);
  const PedNotes notes = NotePed(sim, ped, config, progress);
  const std::vector<std::string> cameras = ScenarioCameras(in.scenario);
  ScenarioPlayer player(sim, ped, cameras, config.FlowTime, progress);
  player.Play(in.scenario, times);

  PreviewSummary summary = WriteMasks(ped, player.Removed(), masks);
  const std::vector<SheetCell> seams = SeamCells(ped, player.Removed());
  session.Close();

  const std::string nothing = NothingPaintedReason(summary, in.scenario);
  const auto title = TitleLines(in, ped, config, options.seed, notes, nothing);
  WritePictures(output->Dir(), player, cameras, title, seams, summary);
  std::error_code error;
  if (!fs::exists(log, error)) WriteOutput(log, "");  // the ini turned the log off
  fs::remove_all(plugin, error);
  WriteOutput(output->Dir() / "summary.json",
              SummaryJson(summary, nothing, ped.poseName, notes.reuse));
  output->Commit();
  ReportWritten(progress, options.out, summary, nothing, started);
  return summary;
}
