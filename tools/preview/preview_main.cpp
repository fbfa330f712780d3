// vermiltrace-preview: shows in seconds what Vermiltrace will paint with a given ini.
#include <CLI/CLI.hpp>

#include <signal.h>

#include <csignal>
#include <cstring>
#include <iostream>

#include "core/platform.h"
#include "preview_run.h"
#include "scenario.h"

namespace {

const char* const kFooter = R"(
With no options the built-in ped plays the built-in scenario with the shipped
Vermiltrace.ini (found beside this program, in the working directory or in its
package/ folder; otherwise the compiled-in defaults) into preview/.

Writes DIR/contact-sheet.png, DIR/animation.png, DIR/masks/*.png,
DIR/Vermiltrace.log and DIR/summary.json when the run succeeds, into a new or empty
DIR or one a preview wrote, replacing only the files the preview wrote there (all of
DIR with --force).
Exit status: 0 done, 1 error, 2 the model cannot show blood (no texture coordinates).

Scenario files hold one event per line: TIME KIND WEAPON TARGET
  TIME    seconds (12.5), or after the previous event (+0.5, +FlowTime, +DryTime,
          +CorpseBleedTime)
  shot WEAPON PART, melee WEAPON PART, explosion WEAPON METRES, fall - POSE,
  death - POSE, pose - POSE, snapshot - CAPTION, camera - NAME, remove - -
  PART    head chest stomach pelvis left-arm right-arm left-leg right-leg
  POSE    standing lying (pose also arms-raised)
  NAME    front back left right above below
Bone mapping files hold one 'JOINT BONE' pair per line (BONE: the game's bone number).)";

// The directory of this program, when the system can tell.
std::string ProgramDirectory() {
  char path[300] = {};
  if (!platform::ThisModulePath(path, sizeof(path))) return "";
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  const char* end = slash > backslash ? slash : backslash;
  return end ? std::string(path, static_cast<size_t>(end - path)) : "";
}

}  // namespace

int main(int argc, char** argv) {
  PreviewOptions options;
  CLI::App app{"vermiltrace-preview: what Vermiltrace paints with your ini, in pictures",
               "vermiltrace-preview"};
  app.add_option("--model", options.model, "character model file (any format assimp reads)")
      ->type_name("FILE");
  app.add_option("--bones", options.bones, "joint-to-bone mapping of the model")->type_name("FILE");
  const std::vector<std::string> axes = {"x", "y", "z", "+x", "+y", "+z", "-x", "-y", "-z"};
  app.add_option("--up", options.up, "the model's axis that points up (x, -y, +z, ...)")
      ->type_name("AXIS")
      ->check(CLI::IsMember(axes));
  app.add_option("--facing", options.facing, "the model's axis that points to its front")
      ->type_name("AXIS")
      ->check(CLI::IsMember(axes));
  app.add_option("--ini", options.ini, "Vermiltrace.ini to preview")->type_name("FILE");
  app.add_option("--scenario", options.scenario, "scenario file")->type_name("FILE");
  app.add_option("--seed", options.seed, "seed of the random generator")->type_name("N");
  app.add_option("--out", options.out, "output directory (default preview)")->type_name("DIR");
  app.add_flag("--force", options.force,
               "replace DIR even when it holds files that a preview did not write");
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }

  options.programDir = ProgramDirectory();
#ifdef SIGPIPE
  // A reader that stops early (| head) must not cut the run short: its output still counts.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Interrupted runs stop at their next step and remove what they staged.
#ifdef _WIN32
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, StopPreview);
#else
  // Without SA_RESTART, so that waiting on the model reader is interrupted too.
  struct sigaction action {};
  action.sa_handler = StopPreview;
  sigemptyset(&action.sa_mask);
  // A closed terminal (SIGHUP) ends the run as an interrupt does.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
  try {
    RunPreview(options, std::cout);
  } catch (const PreviewError& error) {
    std::cerr << "vermiltrace-preview: error: " << error.what() << std::endl;
    return error.status;
  } catch (const std::exception& error) {
    std::cerr << "vermiltrace-preview: error: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
