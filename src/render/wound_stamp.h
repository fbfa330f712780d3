// Stamping a wound into the ped's blood masks in the texture space of its BloodGeometry.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_types.h"
#include "render/mask_layer.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

struct WoundStamp {
  Vec3 centre;
  Vec3 normal;
  Vec3 down;
  Vec3 side;
  Vec3 axis;
  float radius;
  float cut;
  float bleed;
  float flatness;
  int32_t dripCount;
  Vec3 dripStart[kMaxDrips];
  float dripSpan[kMaxDrips];
  float dripWidth[kMaxDrips];
};

// Paints the wound at the given age (seconds) into layers; the number of triangles painted.
int32_t PaintWound(std::vector<MaskLayer>& layers, const Wound& wound,
                   const PosedMeshSnapshot& snapshot, float age);
bool BuildWoundStamp(const Wound& wound, const PosedMeshSnapshot& snapshot, float age,
                     WoundStamp& stamp);
// Rasterises one triangle into layer; true when at least one texel was written.
bool PaintTriangle(MaskLayer& layer, const Vec3 positions[3], const TexCoord coordinates[3],
                   const WoundStamp& stamp);
// The layer for (mesh, materialIndex), appended when missing. Valid until the next append.
MaskLayer& GetOrCreateLayer(std::vector<MaskLayer>& layers, HostMesh* mesh,
                            int32_t materialIndex);
// Smooth value noise in [0, 1].
float ValueNoise3(float x, float y, float z);
// Per-texel jitter hash J(column, row) in 0 ... 65535.
uint32_t TexelJitter(uint32_t column, uint32_t row);
