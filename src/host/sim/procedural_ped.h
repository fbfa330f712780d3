// A procedural humanoid ped for the simulated world, laid out as the game's ped models are:
// a render object with a body mesh (material 0 skin: neck, arms, hands; material 1
// clothes: torso, legs, feet) and a head mesh (one material), 2,440 + 560 triangles, a
// skeleton carrying the game's bone numbers and texture coordinates whose right half
// mirrors the left half onto the same texels (right-side triangles have negative signed
// area in texture space).
//
// Model space: z up, feet on z = 0, head top at about z = 1.8, the front of the body
// towards +y and the ped's right side towards +x. Bind pose = standing pose. Bones are
// frames without rotation at the joints, so a bone's bind matrix is a translation.
// Skeleton (hierarchy index: game bone number): 0:1 pelvis, 1:2 spine, 2:3 upper spine,
// 3:4 neck, 4:5 head, 5..8: 21..24 right clavicle, upper arm, forearm, hand, 9..12: 31..34
// the same on the left, 13..15: 41..43 left thigh, calf, foot, 16..18: 51..53 right.
//
// Built deterministically (same placement, same bytes) and without randomness.
#pragma once

#include <cstdint>

#include "host/sim/sim_host.h"

// Names of the textures of the ped's materials: skin, clothes, face.
constexpr const char* kSkinTextureName = "vt_ped_skin";
constexpr const char* kClothesTextureName = "vt_ped_clothes";
constexpr const char* kFaceTextureName = "vt_ped_face";

enum class PedPose {
  Standing,    // bind pose, feet at the placement
  ArmsRaised,  // standing with both arms raised over the head
  Lying,       // a corpse on its back: pelvis above the placement, head towards the
               // heading's -y, every vertex within 0.35 m above the placement's z
};

struct PedPlacement {
  Vec3 position{0, 0, 0};
  float heading = 0;  // radians about z; 0 faces +y
  PedPose pose = PedPose::Standing;
  bool rootMatrix = false;  // bone matrices in model space, placement in the root frame
};

struct ProceduralPed {
  HostPed* ped = nullptr;
  HostRenderObject* object = nullptr;
  HostHierarchy* hierarchy = nullptr;
  HostMesh* body = nullptr;
  HostMesh* head = nullptr;
  HostGeometry* bodyGeometry = nullptr;
  HostGeometry* headGeometry = nullptr;
  HostSkin* bodySkin = nullptr;
  HostSkin* headSkin = nullptr;
  SimFrame* rootFrame = nullptr;  // the hierarchy's root while placement.rootMatrix is set
};

// Number of bones of the procedural skeleton and their game numbers by hierarchy index.
constexpr int kProceduralBoneCount = 19;
extern const int32_t kProceduralBoneIds[kProceduralBoneCount];

// Builds a new ped with its own render object, hierarchy, meshes, geometries, skins,
// materials and textures, posed as placement says; it joins sim's ped pool. Its entity
// has a matrix (heading and position), model index 7, health 100 (0 when Lying), and
// queryBones answering every bone number with its posed world position.
ProceduralPed AddProceduralPed(SimHost& sim, const PedPlacement& placement = {});

// Builds a new ped (own entity, render object, hierarchy and meshes) that shares model's
// geometries, skins and materials, as two game peds of one model do.
ProceduralPed AddProceduralPedLike(SimHost& sim, const ProceduralPed& model,
                                   const PedPlacement& placement = {});

// Re-poses the ped in place: bone matrices, root frame and flag, entity matrix, queryBones;
// Lying also sets health to 0 (other poses leave health alone). Null handles are ignored.
void PoseProceduralPed(SimHost& sim, const ProceduralPed& ped, const PedPlacement& placement);

// World position of a bone from the hierarchy (root frame applied when the hierarchy's
// flag 0x4000 is set); the entity's position when the bone is not in the hierarchy.
Vec3 ProceduralBonePosition(SimHost& sim, const ProceduralPed& ped, int32_t boneId);
