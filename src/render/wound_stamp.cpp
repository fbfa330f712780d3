// Placeholder until wound stamping lands.
#include "render/wound_stamp.h"
int32_t PaintWound(std::vector<MaskLayer>&, const Wound&, const PosedMeshSnapshot&, float) { return 0; }
bool BuildWoundStamp(const Wound&, const PosedMeshSnapshot&, float, WoundStamp&) { return false; }
bool PaintTriangle(MaskLayer&, const Vec3[3], const TexCoord[3], const WoundStamp&) { return false; }
MaskLayer& GetOrCreateLayer(std::vector<MaskLayer>& layers, HostMesh*, int32_t) {
  layers.emplace_back();
  return layers.back();
}
float ValueNoise3(float, float, float) { return 0.0f; }
uint32_t TexelJitter(uint32_t, uint32_t) { return 0; }
