// Placeholder until the posed mesh snapshot lands.
#include "wounds/posed_mesh.h"
bool TakePosedMeshSnapshot(HostPed*, PosedMeshSnapshot&) { return false; }
bool SkinMeshVertices(HostMesh*, HostHierarchy*, std::vector<Vec3>&) { return false; }
