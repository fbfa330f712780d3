// The second draw of every bloody mesh after the game's ped render, and the upload of
// blood masks into host textures.
#pragma once

#include "host/host_types.h"
#include "render/mask_layer.h"

void DrawBloodPass(HostPed* ped);
void UploadLayer(MaskLayer& layer);
