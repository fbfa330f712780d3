#include "render/texture_names_log.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/log.h"
#include "render/object_meshes.h"

namespace {

// The distinct texture names of the ped's materials, separated by ", ".
std::string TextureNames(HostGame& host, HostPed* ped) {
  std::vector<HostMesh*> meshes;
  CollectMeshes(host, host.PedRenderObject(ped), meshes);
  std::vector<std::string> names;
  for (HostMesh* mesh : meshes) {
    HostGeometry* geometry = host.MeshGeometry(mesh);
    if (!geometry) continue;
    const GeometryView view = host.GetGeometry(geometry);
    for (int32_t m = 0; view.materials && m < view.materialCount; ++m) {
      HostTexture* texture = view.materials[m] ? host.MaterialTexture(view.materials[m]) : nullptr;
      if (!texture) continue;
      char name[kTextureNameLength + 1] = {};
      host.TextureName(texture, name);
      if (name[0] != '\0' && std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
      }
    }
  }
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

void LogNewModelTextures(const BloodContext& ctx, BloodPassState& pass) {
  if (ctx.config.LogTextureNames == 0 || !LogOpen()) return;
  std::vector<int16_t>& named = pass.texturesLoggedModels;
  for (const auto& entry : ctx.tables.bloodStates) {
    const int16_t model = ctx.host.PedModelIndex(entry.first);
    if (std::find(named.begin(), named.end(), model) != named.end()) continue;
    named.push_back(model);
    LogLine("textures of model %d: %s", static_cast<int>(model),
            TextureNames(ctx.host, entry.first).c_str());
  }
}
