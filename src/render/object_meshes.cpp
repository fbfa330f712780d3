#include "render/object_meshes.h"

namespace {

HostMesh* Collect(HostMesh* mesh, void* user) {
  if (mesh) static_cast<std::vector<HostMesh*>*>(user)->push_back(mesh);
  return mesh;
}

}  // namespace

void CollectMeshes(HostGame& host, HostRenderObject* object, std::vector<HostMesh*>& meshes) {
  host.ForEachMesh(object, Collect, &meshes);
}
