// Builds with the model importer: any character model that assimp reads.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>

#include "host/sim/sim_math.h"
#include "model_import.h"
#include "preview_ped.h"
#include "preview_stop.h"

namespace {

constexpr float kHalfTurn = 3.14159265358979f;
// What the reader may use on one model: far more than any real character needs.
constexpr size_t kImportMemoryBytes = size_t{2} << 30;
constexpr rlim_t kImportSeconds = 60;
constexpr int kImportFailed = 3;          // the child's exit status when the reader gave an error
constexpr int kNoTextureCoordinates = 4;  // the child's exit status for a model without them
constexpr float kPercent = 100.0f;

// The process's address space now (sanitizer builds reserve terabytes up front), so the
// child's cap counts only what the import adds.
size_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  statm >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// False when no vertex has texture coordinates or they all sit at one point: the blood
// masks live in texture space, so no wound could show.
bool HasUsableTextureCoordinates(const ImportedPed& ped) {
  bool any = false;
  TexCoord first{0, 0};
  for (HostGeometry* geometry : ped.geometries) {
    for (const TexCoord& t : SimHost::Sim(geometry)->texCoords) {
      if (!std::isfinite(t.u) || !std::isfinite(t.v)) continue;
      if (!any) first = t, any = true;
      if (std::fabs(t.u - first.u) > 1e-5f || std::fabs(t.v - first.v) > 1e-5f) return true;
    }
  }
  return false;
}

// Reads the model once in a child process with its memory and processor time capped.
// Returns when the read succeeds; throws PreviewError with the reader's error, or saying
// that the reader crashed or ran out of its allowance, and with status 2 when the model
// has no usable texture coordinates (so that such a model is read only once).
void ReadInCappedChild(const std::string& modelFile, const std::string& bonesFile,
                       const ModelFacing& facing) {
  int channel[2];
  if (pipe(channel) != 0) throw PreviewError(modelFile + ": cannot start the model reader");
  std::fflush(nullptr);
  const size_t base = AddressSpaceInUse();
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    throw PreviewError(modelFile + ": cannot start the model reader");
  }
  if (child == 0) {
    close(channel[0]);
    const rlimit memory{base + kImportMemoryBytes, base + kImportMemoryBytes};
    const rlimit seconds{kImportSeconds, kImportSeconds + 1};
    setrlimit(RLIMIT_AS, &memory);
    setrlimit(RLIMIT_CPU, &seconds);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // Only what the parent reports is shown: a failing reader's own output would bury it.
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null) dup2(fileno(null), 2);
    std::string error;
    bool read = false;
    bool textured = false;
    try {
      SimHost sim;
      ImportedPed ped;
      read = ImportPedModel(sim, modelFile, bonesFile, PedPlacement{}, ped, error, facing);
      textured = read && HasUsableTextureCoordinates(ped);
    } catch (const std::exception& exception) {
      error = modelFile + ": the model reader failed (" + exception.what() + ")";
    }
    for (size_t sent = 0; !read && sent < error.size();) {
      ssize_t n = write(channel[1], error.data() + sent, error.size() - sent);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    _exit(!read ? kImportFailed : textured ? 0 : kNoTextureCoordinates);
  }
  close(channel[1]);
  std::string message;
  char buffer[512];
  int status = 0;
  for (;;) {
    ssize_t n = read(channel[0], buffer, sizeof(buffer));
    if (n > 0) {
      message.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    } else {
      try {
        CheckStop();
      } catch (const PreviewError&) {
        kill(child, SIGKILL);
        close(channel[0]);
        waitpid(child, &status, 0);
        throw;
      }
    }
  }
  close(channel[0]);
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  CheckStop();
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoTextureCoordinates) {
    throw PreviewError(modelFile +
                           " has no texture coordinates: blood is painted in texture space, so "
                           "nothing can show",
                       2);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kImportFailed && !message.empty()) {
    if (message.find("bad_alloc") != std::string::npos) {
      throw PreviewError(modelFile + ": the model reader needed more than " +
                         std::to_string(kImportMemoryBytes >> 20) +
                         " MiB of memory on this file and was stopped");
    }
    throw PreviewError(message);
  }
  if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL)) {
    throw PreviewError(modelFile + ": the model reader took more than " +
                       std::to_string(kImportSeconds) + " s on this file and was stopped");
  }
  throw PreviewError(
      modelFile + ": the model reader failed on this file (it crashed or needed more than " +
      std::to_string(kImportMemoryBytes >> 20) + " MiB of memory); nothing was written");
}

// Lying on its back: turned about x so that the front faces up (head towards -y, as the
// built-in corpse), lifted until the back touches the ground.
HostMatrix LyingPlacement(const ImportedPed& ped) {
  float back = 0.0f;
  for (HostGeometry* geometry : ped.geometries) {
    for (const Vec3& p : SimHost::Sim(geometry)->positions) back = std::min(back, p.y);
  }
  return Multiply(RotationMatrix({1, 0, 0}, kHalfTurn / 2), TranslationMatrix({0, 0, -back}));
}

// Moves the whole posed ped: bone matrices, entity matrix and the bone answers.
void Replace(const ImportedPed& ped, const HostMatrix& move) {
  SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  for (HostMatrix& bone : h->boneMatrices) bone = Multiply(bone, move);
  SimEntity* entity = SimHost::Sim(ped.ped);
  entity->matrix = Multiply(entity->matrix, move);
  for (auto& bone : entity->queryBones) bone.second = TransformPoint(move, bone.second);
}

ModelFacing FacingOf(const std::string& up, const std::string& facing) {
  ModelFacing result;
  if (!up.empty() && !ParseModelAxis(up, &result.up)) {
    throw PreviewError("--up " + up + ": not an axis (x, y, z, +x, -y, ...)");
  }
  if (!facing.empty() && !ParseModelAxis(facing, &result.front)) {
    throw PreviewError("--facing " + facing + ": not an axis (x, y, z, +x, -y, ...)");
  }
  return result;
}

// Which pose the model is shown in, for the summary.
std::string PoseText(const ImportedPed& ped) {
  if (!ped.bindPose) return "rest pose (a rigid mesh, no bind matrices)";
  const long away = std::lround(ped.restFromBind * kPercent);
  if (away < 1) return "bind pose (its rest pose is the same)";
  return "bind pose (its rest pose lies " + std::to_string(away) +
         " % of its height away and is not used)";
}

}  // namespace

bool ModelImportAvailable() { return true; }

PreviewPed LoadModelPed(SimHost& sim, const std::string& modelFile, const std::string& bonesFile,
                        const std::string& up, const std::string& facing) {
  const ModelFacing turn = FacingOf(up, facing);
  ReadInCappedChild(modelFile, bonesFile, turn);
  auto imported = std::make_shared<ImportedPed>();
  std::string error;
  if (!ImportPedModel(sim, modelFile, bonesFile, PedPlacement{}, *imported, error, turn)) {
    throw PreviewError(error);
  }
  PreviewPed ped;
  ped.ped = imported->ped;
  ped.notes = imported->notes;
  ped.poseName = PoseText(*imported);
  size_t slash = modelFile.find_last_of("/\\");
  ped.description = slash == std::string::npos ? modelFile : modelFile.substr(slash + 1);
  if (imported->texturedMaterials > 0) ped.description += " (textured)";
  for (size_t i = 0; i < imported->meshes.size(); ++i) {
    ped.meshNames[imported->meshes[i]] = "mesh" + std::to_string(i);
  }
  SimHost* world = &sim;
  // Imported models have no poses of their own beyond their bind pose: arms stay as they
  // are, and lying is that pose laid on its back.
  ped.pose = [world, imported](ScenarioPose pose) {
    SimEntity* entity = SimHost::Sim(imported->ped);
    float health = entity->health;
    PoseImportedPed(*world, *imported, -1, 0.0);
    if (pose == ScenarioPose::Lying) Replace(*imported, LyingPlacement(*imported));
    entity->health = health;
  };
  return ped;
}
