// The names of a ped model's textures, written to the log the first time one of its peds
// has blood, so that players can copy them into SkinTextures and ClothTextures.
#pragma once

#include "blood/blood_records.h"
#include "render/blood_pass.h"

// With LogTextureNames on and the log open, writes "textures of model %d: NAME, NAME" for
// every model of a ped with blood state whose names have not been written yet: each name
// once, in the order of the model's meshes and materials. Each model is named once per
// process (a game reset does not repeat them).
void LogNewModelTextures(const BloodContext& ctx, BloodPassState& pass);
