// Builds without a model importer (the Windows build): the built-in ped only.
#include "preview_ped.h"

bool ModelImportAvailable() { return false; }

PreviewPed LoadModelPed(SimHost&, const std::string& modelFile, const std::string&,
                        const std::string&, const std::string&) {
  throw PreviewError(modelFile + ": this build of vermiltrace-preview cannot import models; " +
                     "use the built-in ped (no --model) or the Linux build");
}
