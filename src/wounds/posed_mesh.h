// PosedMeshSnapshot: a ped's meshes with world-space, CPU-skinned vertex positions, built
// per use (wound placement, the refresh of flowing wounds, painting).
#pragma once

#include <vector>

#include "blood/blood_records.h"
#include "host/host_types.h"
#include "wounds/wound_context.h"

// Fills an empty snapshot with every mesh of the ped's render object, skinning each one
// (all are tried). False when the ped has no render object or skin hierarchy, or no mesh
// could be skinned; the meshes that did succeed are still filled in.
bool TakePosedMeshSnapshot(const WoundContext& ctx, HostPed* ped, PosedMeshSnapshot& snapshot);

// Skins every vertex of the mesh's geometry with the hierarchy's bone matrices (times the
// root object's matrix when flag 0x4000 is set) into out, resized to the vertex count.
// Weights are used as stored; influences with weight <= 0 or a bone index at or beyond
// the bone count are ignored. False, with out untouched, when the geometry, its skin
// record or skin arrays, the hierarchy, its bone matrices, the vertex data or the
// bind-pose positions are missing, or the vertex count is negative. Reuses ctx.scratch.
bool SkinMeshVertices(const WoundContext& ctx, HostMesh* mesh, HostHierarchy* hierarchy,
                      std::vector<Vec3>& out);

// The version of the ped's pose that the snapshot shows (kept in state.pose): as at the
// last call while the meshes, their geometries and every posed vertex are bit for bit the
// same, one more otherwise. 0 while FollowPose is off, which keeps no pose.
uint32_t NotePose(const BloodContext& ctx, PedBloodState& state, const PosedMeshSnapshot& snapshot);
