#include "blood/blood_mask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Scattered writes to a tiled mask read back as the same writes to a whole one, at sizes
// that do and do not fill their last tiles; only tiles holding blood are made.
TEST(BloodMask, ReadsBackAsAWholeMask) {
  const int32_t sizes[][2] = {{128, 64}, {200, 100}, {2048, 1024}, {1, 1}};
  for (const auto& size : sizes) {
    const int32_t width = size[0], height = size[1];
    SCOPED_TRACE(width);
    BloodMask mask;
    ResetMask(mask, width, height);
    std::vector<uint8_t> whole(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint32_t h = 7;
    for (int i = 0; i < 300; ++i) {
      h = h * 1664525u + 1013904223u;
      const int32_t x = static_cast<int32_t>((h >> 8) % static_cast<uint32_t>(width + 2)) - 1;
      const int32_t y = static_cast<int32_t>((h >> 4) % static_cast<uint32_t>(height + 2)) - 1;
      const uint8_t value = i % 5 == 0 ? 0 : static_cast<uint8_t>(h >> 24);
      SetMaskAt(mask, x, y, value);  // outside the mask: ignored
      if (x >= 0 && y >= 0 && x < width && y < height) {
        whole[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = value;
      }
      EXPECT_EQ(MaskAt(mask, x, y), x < 0 || y < 0 || x >= width || y >= height ? 0 : value);
    }
    EXPECT_EQ(MaskBytes(mask), whole);
    size_t made = 0;
    for (const std::vector<uint8_t>& tile : mask.tiles) made += !tile.empty();
    EXPECT_EQ(mask.tilesMade, made);
    EXPECT_LE(made, 300u);
  }
}

// Writing nothing (0) where no tile is made leaves it unmade: clearing costs no memory.
TEST(BloodMask, WritingZeroMakesNoTile) {
  BloodMask mask;
  ResetMask(mask, 128, 64);
  SetMaskAt(mask, 70, 3, 0);
  EXPECT_EQ(mask.tilesMade, 0u);
  EXPECT_EQ(MaskTile(mask, 1, 0), nullptr);
}

}  // namespace
