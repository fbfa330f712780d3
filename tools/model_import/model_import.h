// Loads a character model that assimp reads into the simulated world as a ped: one
// geometry, skin record and mesh per assimp mesh (triangles only, one material each),
// one hierarchy whose bones carry game bone numbers, and the model's node animations for
// posing. Static meshes are skinned rigidly to their own node.
//
// Model space as for the procedural ped: z up, facing +y, scaled to stand 1.8 m tall, its
// bounds (robust to a few stray points) centred on x = y = 0 with the feet on z = 0. Up and
// front come from the skeleton (head above pelvis, the right arm on the right), else from
// the file's axis metadata, else its format's convention (IQM's, MD2's, COB's, glTF's),
// else the longest extent is up; the user's facing (ModelFacing) overrides them all.
// Materials show their base-colour texture (embedded or beside the file) where they name
// one that can be read.
#pragma once

#include <string>
#include <vector>

#include "host/sim/procedural_ped.h"
#include "ped_animation.h"

struct ImportedPed {
  HostPed* ped = nullptr;
  HostRenderObject* object = nullptr;
  HostHierarchy* hierarchy = nullptr;
  SimFrame* rootFrame = nullptr;  // the hierarchy's root while placement.rootMatrix is set
  std::vector<HostMesh*> meshes;  // parallel: geometries, skins
  std::vector<HostGeometry*> geometries;
  std::vector<HostSkin*> skins;
  int animationCount = 0;
  std::vector<std::string> boneNames;  // the joint of each hierarchy bone
  int texturedMaterials = 0;           // materials showing the model's own texture
  std::vector<std::string> notes;      // what could not be used (a texture not found)
  bool bindPose = false;               // bones bound by offset matrices (else a rigid mesh)
  float restFromBind = 0.0f;           // farthest rest-pose bone from its bind place, of height

  // What posing needs.
  std::vector<NodeRecord> nodes;
  std::vector<int32_t> boneNodes;  // node of each hierarchy bone
  std::vector<NodeAnimation> animations;
  std::vector<HostMatrix> bindWorld;  // each node in the bind pose, the model's own space
  HostMatrix sceneToModel{};          // the model's own space to model space
  PedPlacement placement;             // pose is not used: animations pose imported peds
  // The game bones the skeleton lacks, placed by the model's shape (body_layout.h) in model
  // space: the simulated game answers for them there, so hits still land on the body.
  std::vector<std::pair<int32_t, Vec3>> guessedBones;
};

// The user's word on a model's orientation in its own space (unit axes, zero when not
// given): it overrides what the skeleton, metadata or format say.
struct ModelFacing {
  Vec3 up{0, 0, 0};
  Vec3 front{0, 0, 0};
};

// An axis as the user writes it: x, y or z with an optional sign (+y, -z). False for
// anything else.
bool ParseModelAxis(const std::string& text, Vec3* axis);

// Loads the model at path as a new ped in sim's pool (model index 7, health 100), posed in
// its bind pose at placement, turned by facing where it gives an axis. Bone numbers come from the
// mapping file at boneMapPath, or are guessed from joint names when it is empty (bone_map.h).
// Vertex weights keep the four largest influences, scaled to sum to 1; unweighted vertices follow
// their mesh's node. False, with out cleared and error naming the file (and line for the mapping
// file), when a file cannot be read, the model is not one assimp reads, it has no triangles, it has
// more than 256 bones, or the mapping file has a bad line.
bool ImportPedModel(SimHost& sim, const std::string& path, const std::string& boneMapPath,
                    const PedPlacement& placement, ImportedPed& out, std::string& error,
                    const ModelFacing& facing = {});

// Poses the ped at seconds into animation (looping); an animation index out of range
// gives the bind pose (the pose the meshes were bound in, whatever the nodes' rest pose). Writes
// the bone matrices (model space and the root frame's flag when ped.placement.rootMatrix is set),
// the entity's matrix and queryBones.
void PoseImportedPed(SimHost& sim, const ImportedPed& ped, int animation, double seconds);
