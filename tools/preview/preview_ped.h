// The ped a preview plays its scenario on: the built-in procedural ped or an imported
// character model, standing in the simulated world with the game's textures set up.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/sim/sim_host.h"
#include "scenario.h"

struct PreviewPed {
  HostPed* ped = nullptr;
  std::string description;                               // for captions and messages
  std::unordered_map<HostMesh*, std::string> meshNames;  // file-name friendly
  std::vector<std::string> notes;                        // warnings about what is not shown
  std::string poseName = "own pose";                     // the pose it stands in, for the summary
  // Re-poses the ped in place (bones, entity matrix); its health is kept.
  std::function<void(ScenarioPose)> pose;
};

// The built-in ped at the origin facing +y, skin and clothes coloured.
PreviewPed LoadBuiltInPed(SimHost& sim);

// True when this build can import model files.
bool ModelImportAvailable();

// A character model file (anything the importer reads; static meshes become one-bone
// skins) at the origin facing +y, its joints mapped to the game's bone numbers by
// bonesFile (empty: guessed from common joint names), turned so that the axes up and facing
// name ("+y", "-z"; empty: found by the importer) point up and to the front. The file is first read
// in a child process whose memory and time are capped, so a file that makes the reader allocate
// without end or crash costs only the child. Throws PreviewError naming the file (and line
// of bonesFile) when it cannot be read, holds no triangles, or the build has no importer,
// or when up or facing is not an axis, and with status 2 when it has no usable texture
// coordinates.
PreviewPed LoadModelPed(SimHost& sim, const std::string& modelFile, const std::string& bonesFile,
                        const std::string& up, const std::string& facing);
