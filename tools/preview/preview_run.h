// One preview run: the system started on the simulated host with the chosen ini, the
// scenario played through the game's entry points, pictures rendered at its snapshots,
// and the results written into the output directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "output_folder.h"
#include "preview_stop.h"
#include "run_inputs.h"

struct PreviewOptions {
  std::string model;     // empty: the built-in ped
  std::string bones;     // joint-to-bone mapping of the model; empty: guessed
  std::string up;        // the model's axis that points up (+y, -z, ...); empty: found
  std::string facing;    // the model's axis that points to its front; empty: found
  std::string ini;       // empty: the shipped ini if one is found, else the defaults
  std::string scenario;  // empty: the built-in scenario
  uint32_t seed = 1;     // the tick count the system seeds its generator with
  std::string out = "preview";
  bool force = false;      // replace DIR even when a preview did not write it
  std::string programDir;  // where the executable lives (searched for a shipped ini)
};

struct PreviewSummary {
  int64_t wounds = 0;           // wound attempts that found the mesh
  int64_t layers = 0;           // blood mask layers at the end
  int64_t paintedTexels = 0;    // mask texels above zero
  int64_t maskBytes = 0;        // bytes held in the masks' tiles
  int64_t textureBytes = 0;     // pixel bytes of the layers' textures
  int64_t memoryEvictions = 0;  // peds whose blood BloodMemory dropped
  int pictures = 0;
  int masks = 0;
  int frames = 0;  // of the animation
};

// Runs the preview and writes DIR/contact-sheet.png, DIR/animation.png, DIR/masks/*.png,
// DIR/Vermiltrace.log, DIR/summary.json and the marker file, at the end, into a DIR that
// is new, empty or a preview's (replacing only the files the preview wrote there), or
// replacing everything in DIR when options.force is set (see StagedOutput).
// Progress lines go to progress. Throws PreviewError naming the file (and line) on any
// failure, with nothing of the run left on disk.
PreviewSummary RunPreview(const PreviewOptions& options, std::ostream& progress);
