// Builds with the model importer: any character model that assimp reads.
#include <algorithm>
#include <memory>

#include "host/sim/sim_math.h"
#include "model_import.h"
#include "preview_ped.h"

namespace {

constexpr float kHalfTurn = 3.14159265358979f;

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

}  // namespace

bool ModelImportAvailable() { return true; }

PreviewPed LoadModelPed(SimHost& sim, const std::string& modelFile, const std::string& bonesFile) {
  auto imported = std::make_shared<ImportedPed>();
  std::string error;
  if (!ImportPedModel(sim, modelFile, bonesFile, PedPlacement{}, *imported, error)) {
    throw PreviewError(error);
  }
  PreviewPed ped;
  ped.ped = imported->ped;
  size_t slash = modelFile.find_last_of("/\\");
  ped.description = slash == std::string::npos ? modelFile : modelFile.substr(slash + 1);
  for (size_t i = 0; i < imported->meshes.size(); ++i) {
    ped.meshNames[imported->meshes[i]] = "mesh" + std::to_string(i);
  }
  SimHost* world = &sim;
  // Imported models have no poses of their own beyond their rest pose: arms stay as they
  // are, and lying is the rest pose laid on its back.
  ped.pose = [world, imported](ScenarioPose pose) {
    SimEntity* entity = SimHost::Sim(imported->ped);
    float health = entity->health;
    PoseImportedPed(*world, *imported, -1, 0.0);
    if (pose == ScenarioPose::Lying) Replace(*imported, LyingPlacement(*imported));
    entity->health = health;
  };
  return ped;
}
