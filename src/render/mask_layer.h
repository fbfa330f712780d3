// MaskLayer: one blood mask of one (mesh, material) of a ped, with its host texture.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_types.h"

struct MaskLayer {
  HostMesh* mesh = nullptr;
  HostGeometry* geometry = nullptr;  // the mesh's geometry when the layer was made
  int32_t materialIndex = 0;
  std::vector<uint8_t> texels;  // (2 * MaskSize) x MaskSize amounts, row after row
  HostTexture* texture = nullptr;  // owned; made by the first upload
  bool dirty = true;
  float lastPaint = 0.0f;   // seconds of the last painting
  float lastUpload = 0.0f;  // seconds of the last upload
};
