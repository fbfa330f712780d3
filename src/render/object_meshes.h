// The meshes of a render object, in the host's enumeration order.
#pragma once

#include <vector>

#include "host/host_game.h"

// Appends every mesh of object to meshes, skipping null entries a broken object may hold.
void CollectMeshes(HostGame& host, HostRenderObject* object, std::vector<HostMesh*>& meshes);
