#include "render/seam_margin.h"

#include <algorithm>

#include "core/config.h"
#include "render/texel_triangle.h"

namespace {

// Texels first ... last - 1 along one axis (before wrapping) of [begin, end) grown by
// margin; the whole axis, once, when that would span it.
void Grow(int32_t begin, int32_t end, int32_t margin, int32_t size, int32_t& first, int32_t& last) {
  first = std::max(begin, 0) - margin;
  last = std::min(end, size) + margin;
  if (last - first >= size) {
    first = 0;
    last = size;
  }
}

// The largest amount of the covered texels at Chebyshev distance d from (x, y); -1 when
// none of them is covered.
int32_t RingMax(const BloodMask& mask, const TexelCoverage& coverage, int32_t x, int32_t y,
                int32_t d) {
  int32_t best = -1;
  const auto visit = [&](int32_t i, int32_t j) {
    const int32_t column = WrapTexel(i, mask.width), row = WrapTexel(j, mask.height);
    if (Covered(coverage, column, row)) best = std::max<int32_t>(best, MaskAt(mask, column, row));
  };
  for (int32_t i = x - d; i <= x + d; ++i) {
    visit(i, y - d);
    visit(i, y + d);
  }
  for (int32_t j = y - d + 1; j < y + d; ++j) {
    visit(x - d, j);
    visit(x + d, j);
  }
  return best;
}

}  // namespace

bool FillSeamMargin(MaskLayer& layer, const TexelCoverage& coverage, const TexelRect& region,
                    int32_t margin) {
  BloodMask& mask = layer.mask;
  margin = std::min(margin, kMaxSeamMargin);
  if (margin < 1 || IsEmpty(region) || mask.width < 1 || mask.height < 1 ||
      coverage.width != mask.width || coverage.height != mask.height) {
    return false;
  }
  int32_t firstX, lastX, firstY, lastY;
  Grow(region.x0, region.x1, margin, mask.width, firstX, lastX);
  Grow(region.y0, region.y1, margin, mask.height, firstY, lastY);
  bool rose = false;
  for (int32_t j = firstY; j < lastY; ++j) {
    const int32_t y = WrapTexel(j, mask.height);
    for (int32_t i = firstX; i < lastX; ++i) {
      const int32_t x = WrapTexel(i, mask.width);
      if (Covered(coverage, x, y)) continue;
      int32_t target = -1;
      for (int32_t d = 1; d <= margin && target < 0; ++d) target = RingMax(mask, coverage, x, y, d);
      if (target <= MaskAt(mask, x, y)) continue;
      SetMaskAt(mask, x, y, static_cast<uint8_t>(target));
      IncludeRect(layer.changed, {x, y, x + 1, y + 1});
      rose = true;
    }
  }
  if (rose) layer.dirty = true;
  return rose;
}
