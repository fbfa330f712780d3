// The second draw of every bloody mesh after the game's ped render, and the upload of
// blood masks into host textures.
#pragma once

#include <cstdint>

#include <vector>

#include "blood/blood_records.h"
#include "host/host_types.h"

// The pixel of every mask amount for one drying colour.
struct PixelTable {
  bool built = false;
  float colour[3] = {};
  uint32_t pixels[256] = {};
};

// What the blood pass keeps from call to call: the textures it made, its reused arrays
// and what it logged once.
struct BloodPassState {
  std::vector<HostTexture*> savedTextures;  // a drawn mesh's own, restored after the draw
  std::vector<uint32_t> savedColours;
  PixelTable pixelTable;                // the last one built: most uploads share the fresh colour
  HostTexture* blankTexture = nullptr;  // never destroyed
  bool firstPassLogged = false;
  float dryingFrame = -1.0f;    // seconds of the frame the count below is of
  int32_t dryingRefreshes = 0;  // whole textures reconverted for drying in that frame
  bool lockFailureLogged = false;
  std::vector<int16_t> texturesLoggedModels;  // ped models whose texture names are logged
};

// Blood pass for one ped, run after the host drew it: prunes layers whose mesh left the
// render object or changed geometry, uploads dirty layers, refreshes the colour of layers
// not uploaded for kUploadInterval or painted since their upload in a colour their
// texture does not show (a drying refresh that converts the whole texture is done for
// one layer per call and kDryingRefreshesPerFrame per frame, a frame being the calls with
// one ctx.now; the others wait for later calls; with a PaintBudget, one new texture is
// made per call, a layer waiting for its texture not drawn), then draws each mesh that has
// a textured layer again as its BloodGeometry with the blood textures in its materials
// (BlankTexture for materials without one), restoring every material and the mesh's
// geometry afterwards. Peds without blood state are not touched.
void DrawBloodPass(const BloodContext& ctx, BloodPassState& pass, HostPed* ped);

// Seconds after which a layer's texture is brought to its current drying colour.
constexpr float kUploadInterval = 5.0f;
// Whole textures the drying refreshes of all peds convert in one frame at most.
constexpr int32_t kDryingRefreshesPerFrame = 2;

// Brings the layer's texture up to date with its mask in the layer's drying colour,
// creating it on first use (2 * MaskSize x MaskSize). Converts only the rectangle
// `changed` of a dirty layer when the texture's pixels already show that colour, and the
// whole mask otherwise (a new texture, a colour that gives other pixels, a dirty layer
// without a rectangle, a call on a clean layer); the pixels are the same either way.
// Clears dirty and changed, sets lastUpload and uploadColour. On a failed creation or
// lock the layer keeps its dirty flag and rectangle and the next render retries. A mask
// smaller than the texture uploads its missing texels as 0.
void UploadLayer(const BloodContext& ctx, BloodPassState& pass, MaskLayer& layer);

// The process-wide 4 x 4 transparent texture shown by materials without blood; made on
// first call, null while it cannot be made (the next call tries again).
HostTexture* BlankTexture(const BloodContext& ctx, BloodPassState& pass);

// Releases the layer's texture, if it has one, and forgets it.
void ReleaseLayerTexture(HostGame& host, MaskLayer& layer);
