// The texels of a blood mask that some triangle of one material can ever be painted at
// (its UV islands, as the painter rasterises them), one bit per texel. Texels outside
// it are where the seam margin may put blood.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TexelCoverage {
  int32_t materialIndex = 0;
  int32_t width = 0, height = 0;  // of the mask it was made for
  int32_t wordsPerRow = 0;
  // Row after row, wordsPerRow words each; column x is bit x % 64 of word x / 64.
  std::vector<uint64_t> bits;
};

// An empty coverage of a width x height mask (nothing when either is not positive).
inline void ResetCoverage(TexelCoverage& coverage, int32_t materialIndex, int32_t width,
                          int32_t height) {
  coverage = TexelCoverage{};
  coverage.materialIndex = materialIndex;
  if (width <= 0 || height <= 0) return;
  coverage.width = width;
  coverage.height = height;
  coverage.wordsPerRow = (width + 63) / 64;
  coverage.bits.assign(static_cast<size_t>(coverage.wordsPerRow) * static_cast<size_t>(height), 0);
}

inline size_t CoverageWord(const TexelCoverage& coverage, int32_t x, int32_t y) {
  return static_cast<size_t>(y) * static_cast<size_t>(coverage.wordsPerRow) +
         static_cast<size_t>(x >> 6);
}

// Whether texel (x, y) is covered; false outside the mask.
inline bool Covered(const TexelCoverage& coverage, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= coverage.width || y >= coverage.height) return false;
  return (coverage.bits[CoverageWord(coverage, x, y)] >> (x & 63)) & 1u;
}

// Marks texel (x, y) covered; ignored outside the mask.
inline void Cover(TexelCoverage& coverage, int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= coverage.width || y >= coverage.height) return;
  coverage.bits[CoverageWord(coverage, x, y)] |= uint64_t{1} << (x & 63);
}
