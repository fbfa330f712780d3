// The second draw of every bloody mesh after the game's ped render, and the upload of
// blood masks into host textures.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "host/host_types.h"

// Blood pass for one ped, run after the host drew it: prunes layers whose mesh left the
// render object or changed geometry, uploads dirty or stale layers, then draws each mesh
// that has a textured layer again as its BloodGeometry with the blood textures in its
// materials (BlankTexture for materials without one), restoring every material and the
// mesh's geometry afterwards. Peds without blood state are not touched.
void DrawBloodPass(const BloodContext& ctx, HostPed* ped);

// Creates the layer's texture on first use (2 * MaskSize x MaskSize) and rewrites all its
// pixels from the mask with the layer's drying colour; clears dirty and sets lastUpload.
// On a failed creation or lock the layer keeps its dirty flag and the next render retries.
// A mask shorter than 2 * MaskSize * MaskSize bytes uploads its missing texels as 0.
void UploadLayer(const BloodContext& ctx, MaskLayer& layer);

// The process-wide 4 x 4 transparent texture shown by materials without blood; made on
// first call, null while it cannot be made (the next call tries again).
HostTexture* BlankTexture(const BloodContext& ctx);

// Releases the layer's texture, if it has one, and forgets it.
void ReleaseLayerTexture(HostGame& host, MaskLayer& layer);
