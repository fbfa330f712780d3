#include "render/surface_kind.h"

#include <algorithm>
#include <string>

bool SurfacesNamed(const BloodConfig& config) {
  return !config.SkinTextures.empty() || !config.ClothTextures.empty();
}

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether name, lower-cased, is one of the list's names (lower-case already).
bool Named(const std::vector<std::string>& list, const char* name) {
  return std::any_of(list.begin(), list.end(), [name](const std::string& entry) {
    size_t i = 0;
    while (i < entry.size() && name[i] != '\0' && Lower(name[i]) == entry[i]) ++i;
    return i == entry.size() && name[i] == '\0';
  });
}

}  // namespace

SurfaceKind TextureSurfaceKind(const BloodConfig& config, const char* name) {
  auto named = [name](const std::vector<std::string>& list) { return Named(list, name); };
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
