#include "seam_crop.h"

#include <algorithm>

#include "render/material_coverage.h"

namespace {

// Counts texels with blood outside coverage in every window of the mask: prefix sums,
// (width + 1) x (height + 1), row after row.
std::vector<int32_t> OutsideSums(const MaskLayer& layer, const TexelCoverage& coverage) {
  const int32_t w = layer.mask.width, h = layer.mask.height;
  const size_t stride = static_cast<size_t>(w) + 1;
  std::vector<int32_t> sums(stride * (static_cast<size_t>(h) + 1), 0);
  for (int32_t y = 0; y < h; ++y) {
    int32_t row = 0;
    for (int32_t x = 0; x < w; ++x) {
      row += MaskAt(layer.mask, x, y) != 0 && !Covered(coverage, x, y);
      const size_t at = (static_cast<size_t>(y) + 1) * stride + static_cast<size_t>(x) + 1;
      sums[at] = sums[at - stride] + row;
    }
  }
  return sums;
}

Image CropImage(const MaskLayer& layer, const TexelCoverage& coverage, int32_t x0, int32_t y0,
                bool withOutside) {
  Image image;
  image.width = kSeamCropColumns * kSeamCropScale;
  image.height = kSeamCropRows * kSeamCropScale;
  image.rgb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
  for (int py = 0; py < image.height; ++py) {
    for (int px = 0; px < image.width; ++px) {
      const int32_t x = x0 + px / kSeamCropScale, y = y0 + py / kSeamCropScale;
      const bool covered = Covered(coverage, x, y);
      const int v = covered || withOutside ? MaskAt(layer.mask, x, y) : 0;
      uint8_t* rgb = &image.rgb[(static_cast<size_t>(py) * image.width + px) * 3];
      rgb[0] = rgb[1] = static_cast<uint8_t>(covered ? v : v * 3 / 4);
      rgb[2] = static_cast<uint8_t>(covered ? v : 64 + v * 3 / 4);
    }
  }
  return image;
}

}  // namespace

bool FindSeamCrop(const BloodContext& ctx, const std::vector<MaskLayer>& layers, SeamCrop& crop) {
  crop = SeamCrop{};
  for (size_t i = 0; i < layers.size(); ++i) {
    const MaskLayer& layer = layers[i];
    const int32_t w = layer.mask.width, h = layer.mask.height;
    if (w < kSeamCropColumns || h < kSeamCropRows) continue;
    const TexelCoverage* coverage = GetTexelCoverage(ctx, layer.geometry, layer.materialIndex);
    if (!coverage || coverage->width != w || coverage->height != h) continue;
    const std::vector<int32_t> sums = OutsideSums(layer, *coverage);
    const size_t stride = static_cast<size_t>(w) + 1;
    const auto sum = [&](int32_t x, int32_t y) {
      return sums[static_cast<size_t>(y) * stride + static_cast<size_t>(x)];
    };
    for (int32_t y = 0; y + kSeamCropRows <= h; ++y) {
      for (int32_t x = 0; x + kSeamCropColumns <= w; ++x) {
        const int32_t x1 = x + kSeamCropColumns, y1 = y + kSeamCropRows;
        const int32_t outside = sum(x1, y1) - sum(x, y1) - sum(x1, y) + sum(x, y);
        if (outside > crop.outside) {
          crop.layer = i;
          crop.x = x;
          crop.y = y;
          crop.outside = outside;
        }
      }
    }
  }
  if (crop.outside == 0) return false;
  const MaskLayer& layer = layers[crop.layer];
  const TexelCoverage& coverage = *GetTexelCoverage(ctx, layer.geometry, layer.materialIndex);
  crop.before = CropImage(layer, coverage, crop.x, crop.y, false);
  crop.after = CropImage(layer, coverage, crop.x, crop.y, true);
  return true;
}
