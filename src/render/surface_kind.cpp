#include "render/surface_kind.h"

#include <algorithm>
#include <string>

bool SurfacesNamed(const BloodConfig& config) {
  return !config.SkinTextures.empty() || !config.ClothTextures.empty();
}

SurfaceKind TextureSurfaceKind(const BloodConfig& config, const char* name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  auto named = [&lower](const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), lower) != list.end();
  };
  if (named(config.SkinTextures)) return SurfaceKind::kSkin;
  if (named(config.ClothTextures)) return SurfaceKind::kCloth;
  return SurfaceKind::kPlain;
}

void MaterialSurfaceKinds(const BloodContext& ctx, HostGeometry* geometry,
                          std::vector<SurfaceKind>& kinds) {
  kinds.clear();
  if (!geometry) return;
  const GeometryView view = ctx.host.GetGeometry(geometry);
  if (!view.materials) return;
  for (int32_t i = 0; i < view.materialCount; ++i) {
    HostTexture* texture = ctx.host.MaterialTexture(view.materials[i]);
    SurfaceKind kind = SurfaceKind::kPlain;
    if (texture) {
      char name[kTextureNameLength + 1];
      ctx.host.TextureName(texture, name);
      kind = TextureSurfaceKind(ctx.config, name);
    }
    kinds.push_back(kind);
  }
}
