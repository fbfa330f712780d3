// How blood behaves on a material, told by its texture's name: fabric soaks blood up and
// spreads it into a stain, skin lets it run. Materials no list names keep the blood of
// the first design.
#pragma once

#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "core/config.h"
#include "host/host_game.h"

enum class SurfaceKind : uint8_t { kPlain, kSkin, kCloth };
constexpr int kSurfaceKinds = 3;

// What a surface changes in a wound's stamp.
struct SurfaceResponse {
  float radiusScale;  // on the blot's radius
  float growthTime;   // seconds: time constant of the blot's widening
  float edgeInner;    // share of the noisy edge radius where the blot starts to fade
  float dripScale;    // on the drips' length
};

// Indexed by SurfaceKind. Cloth wicks the blood 1.4 times as far and keeps spreading
// (3 s instead of 1.2 s), fades from a fifth of the edge radius instead of half of it, and
// keeps a sixth of each drip; skin keeps the blot 0.85 times as wide and drips whole.
constexpr SurfaceResponse kSurfaceResponses[kSurfaceKinds] = {
    {1.0f, 1.2f, 0.5f, 1.0f},
    {0.85f, 1.2f, 0.5f, 1.0f},
    {1.4f, 3.0f, 0.2f, 1.0f / 6.0f},
};

// Whether either name list is set: without them every material is plain.
bool SurfacesNamed(const BloodConfig& config);

// The number of surface kinds painted with their own stamp: the plain one alone while no
// list names a texture.
inline int SurfaceKindsIn(const BloodConfig& config) {
  return SurfacesNamed(config) ? kSurfaceKinds : 1;
}

// The kind of a texture of this name, compared without regard to case (the lists hold
// lower-case names): skin when SkinTextures names it, else cloth when ClothTextures does,
// else plain.
SurfaceKind TextureSurfaceKind(const BloodConfig& config, const char* name);

// The kind of each of the geometry's materials, in material order (plain for a material
// without a texture); empty for a null geometry.
void MaterialSurfaceKinds(const BloodContext& ctx, HostGeometry* geometry,
                          std::vector<SurfaceKind>& kinds);
