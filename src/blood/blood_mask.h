// A blood mask: width x height amounts (0 ... 255) kept in square tiles made on the first
// write to them. Most of a ped's masks stay empty, so most tiles are never made; a tile
// that is not made reads as zero, and the bytes read back are those of a whole mask.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int32_t kMaskTileShift = 6;
constexpr int32_t kMaskTileSide = 1 << kMaskTileShift;  // texels
constexpr size_t kMaskTileBytes = static_cast<size_t>(kMaskTileSide) * kMaskTileSide;
static_assert(kMaskTileSide <= 64, "a tile's written rows are the bits of one word");

struct BloodMask {
  int32_t width = 0, height = 0;
  int32_t tilesAcross = 0, tilesDown = 0;
  std::vector<std::vector<uint8_t>> tiles;  // row after row of tiles; empty: not made
  size_t tilesMade = 0;
  // Per tile, bit r set when a texel of its row r was written since the owner last cleared
  // them (an upload).
  std::vector<uint64_t> written;
};

// An empty mask of width x height (nothing when either is not positive).
inline void ResetMask(BloodMask& mask, int32_t width, int32_t height) {
  mask = BloodMask{};
  if (width <= 0 || height <= 0) return;
  mask.width = width;
  mask.height = height;
  mask.tilesAcross = (width + kMaskTileSide - 1) >> kMaskTileShift;
  mask.tilesDown = (height + kMaskTileSide - 1) >> kMaskTileShift;
  mask.tiles.resize(static_cast<size_t>(mask.tilesAcross) * static_cast<size_t>(mask.tilesDown));
  mask.written.assign(mask.tiles.size(), 0);
}

// Whether a texel of row y within the tiles' column tileX was written since the flags
// were last cleared.
inline bool RowWritten(const BloodMask& mask, int32_t tileX, int32_t y) {
  if (tileX < 0 || y < 0 || tileX >= mask.tilesAcross || y >= mask.height) return false;
  const size_t index =
      static_cast<size_t>(y >> kMaskTileShift) * static_cast<size_t>(mask.tilesAcross) +
      static_cast<size_t>(tileX);
  return (mask.written[index] >> (y & (kMaskTileSide - 1)) & 1u) != 0;
}

inline void ClearTilesWritten(BloodMask& mask) {
  std::fill(mask.written.begin(), mask.written.end(), uint64_t{0});
}

// The tile at (tileX, tileY), kMaskTileSide rows of kMaskTileSide amounts; null when it
// is not made or lies outside the mask.
inline const uint8_t* MaskTile(const BloodMask& mask, int32_t tileX, int32_t tileY) {
  if (tileX < 0 || tileY < 0 || tileX >= mask.tilesAcross || tileY >= mask.tilesDown) {
    return nullptr;
  }
  const size_t index = static_cast<size_t>(tileY) * static_cast<size_t>(mask.tilesAcross) +
                       static_cast<size_t>(tileX);
  assert(index < mask.tiles.size());
  const std::vector<uint8_t>& tile = mask.tiles[index];
  assert(tile.empty() || tile.size() == kMaskTileBytes);
  return tile.empty() ? nullptr : tile.data();
}

inline size_t TexelInTile(int32_t x, int32_t y) {
  constexpr int32_t low = kMaskTileSide - 1;
  return (static_cast<size_t>(y & low) << kMaskTileShift) + static_cast<size_t>(x & low);
}

// The amount at column x, row y; 0 outside the mask.
inline uint8_t MaskAt(const BloodMask& mask, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) return 0;
  const uint8_t* tile = MaskTile(mask, x >> kMaskTileShift, y >> kMaskTileShift);
  return tile ? tile[TexelInTile(x, y)] : 0;
}

// Sets the amount at column x, row y, making its tile if needed; ignored outside the mask.
inline void SetMaskAt(BloodMask& mask, int32_t x, int32_t y, uint8_t value) {
  if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) return;
  const size_t index =
      static_cast<size_t>(y >> kMaskTileShift) * static_cast<size_t>(mask.tilesAcross) +
      static_cast<size_t>(x >> kMaskTileShift);
  assert(index < mask.tiles.size());
  std::vector<uint8_t>& tile = mask.tiles[index];
  if (tile.empty()) {
    if (value == 0) return;
    tile.assign(kMaskTileBytes, 0);
    ++mask.tilesMade;
    assert(mask.tilesMade <= mask.tiles.size());
  }
  assert(tile.size() == kMaskTileBytes);
  tile[TexelInTile(x, y)] = value;
  mask.written[index] |= uint64_t{1} << (y & (kMaskTileSide - 1));
}

// The whole mask, width x height amounts row after row.
inline std::vector<uint8_t> MaskBytes(const BloodMask& mask) {
  std::vector<uint8_t> bytes(static_cast<size_t>(mask.width) * static_cast<size_t>(mask.height));
  for (int32_t y = 0; y < mask.height; ++y) {
    for (int32_t tx = 0; tx < mask.tilesAcross; ++tx) {
      const uint8_t* tile = MaskTile(mask, tx, y >> kMaskTileShift);
      if (!tile) continue;
      const int32_t x0 = tx << kMaskTileShift;
      const int32_t count = std::min(kMaskTileSide, mask.width - x0);
      const uint8_t* from = tile + TexelInTile(x0, y);
      std::copy(from, from + count, bytes.begin() + static_cast<ptrdiff_t>(y) * mask.width + x0);
    }
  }
  return bytes;
}
