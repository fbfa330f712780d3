// PosedMeshSnapshot: a ped's meshes with world-space, CPU-skinned vertex positions.
#pragma once

#include <vector>

#include "host/host_types.h"

struct PosedMeshSnapshot {
  std::vector<HostMesh*> meshes;  // host enumeration order
  // Parallel to meshes: one world position per vertex of the mesh's geometry; empty when
  // skinning that mesh failed.
  std::vector<std::vector<Vec3>> positions;
};

// Fills an empty snapshot; true when at least one mesh was skinned.
bool TakePosedMeshSnapshot(HostPed* ped, PosedMeshSnapshot& snapshot);
// Skins mesh's vertices with hierarchy into out; false (out untouched) when data is missing.
bool SkinMeshVertices(HostMesh* mesh, HostHierarchy* hierarchy, std::vector<Vec3>& out);
