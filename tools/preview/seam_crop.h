// The contact sheet's close-up of the seam margin: one piece of a blood mask with and
// without the texels the margin put outside the texture's islands, enlarged so that
// single texels show, where the ped's blood spills over the most of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "contact_sheet.h"

constexpr int32_t kSeamCropColumns = 36;  // texels
constexpr int32_t kSeamCropRows = 28;
constexpr int kSeamCropScale = 6;  // picture pixels per texel

struct SeamCrop {
  size_t layer = 0;      // index in the layers
  int32_t x = 0, y = 0;  // the window's first column and row
  int32_t outside = 0;   // texels in it with blood outside the islands
  Image before, after;   // without those texels, and as painted
};

// The window of kSeamCropColumns x kSeamCropRows texels, over all layers, holding the most
// texels with blood outside their material's coverage (the first such window on ties).
// before shows the mask with those texels cleared: the painter writes only covered
// texels, so that is the mask SeamMargin 0 paints. Covered texels are grey (white is the
// most blood), the others blue. False when no layer has blood outside its coverage.
bool FindSeamCrop(const BloodContext& ctx, const std::vector<MaskLayer>& layers, SeamCrop& crop);
