#include "render/seam_margin.h"

#include <algorithm>

#include "core/config.h"
#include "render/texel_triangle.h"

namespace {

constexpr int32_t kBlockSide = 1 << kSeamBlockShift;

// Up to two runs [first, last) of the mask's texels along one axis.
struct Runs {
  int32_t first[2], last[2];
  int count;
};

// The texels begin ... end - 1 (wrapping) of an axis of size texels as runs on the mask.
Runs Wrapped(int64_t begin, int64_t end, int32_t size) {
  if (end - begin >= size) return {{0, 0}, {size, 0}, 1};
  const int32_t first = static_cast<int32_t>(((begin % size) + size) % size);
  const int32_t last = first + static_cast<int32_t>(end - begin);
  if (last <= size) return {{first, 0}, {last, 0}, 1};
  return {{first, 0}, {size, last - size}, 2};
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

// False only when no texel within margin of (x, y) is covered, tested a row of words at a
// time; true near the mask's edges, where the rings decide.
bool MayBeNear(const TexelCoverage& coverage, int32_t x, int32_t y, int32_t margin) {
  const int32_t from = x - margin, span = 2 * margin + 1;
  if (from < 0 || x + margin >= coverage.width || y < margin || y + margin >= coverage.height) {
    return true;
  }
  const int32_t shift = from & 63;
  const uint64_t wanted = (uint64_t{1} << span) - 1;
  for (int32_t row = y - margin; row <= y + margin; ++row) {
    const uint64_t* words = &coverage.bits[CoverageWord(coverage, from, row)];
    uint64_t bits = words[0] >> shift;
    if (shift + span > 64) bits |= words[1] << (64 - shift);
    if (bits & wanted) return true;
  }
  return false;
}

}  // namespace

void MarkSeamBlocks(SeamBlocks& blocks, int32_t width, int32_t height, const TexelRect& box,
                    int32_t margin) {
  if (width < 1 || height < 1 || IsEmpty(box)) return;
  if (blocks.width != width || blocks.height != height || blocks.bits.empty()) {
    blocks.width = width;
    blocks.height = height;
    blocks.across = (width + kBlockSide - 1) >> kSeamBlockShift;
    blocks.down = (height + kBlockSide - 1) >> kSeamBlockShift;
    blocks.bits.assign(
        (static_cast<size_t>(blocks.across) * static_cast<size_t>(blocks.down) + 63) / 64, 0);
  }
  margin = std::clamp(margin, 0, kMaxSeamMargin);
  const Runs columns = Wrapped(int64_t{box.x0} - margin, int64_t{box.x1} + margin, width);
  const Runs rows = Wrapped(int64_t{box.y0} - margin, int64_t{box.y1} + margin, height);
  for (int r = 0; r < rows.count; ++r) {
    const int32_t lastRow = (rows.last[r] - 1) >> kSeamBlockShift;
    for (int32_t by = rows.first[r] >> kSeamBlockShift; by <= lastRow; ++by) {
      for (int c = 0; c < columns.count; ++c) {
        const int32_t lastColumn = (columns.last[c] - 1) >> kSeamBlockShift;
        for (int32_t bx = columns.first[c] >> kSeamBlockShift; bx <= lastColumn; ++bx) {
          const size_t block = static_cast<size_t>(by) * static_cast<size_t>(blocks.across) +
                               static_cast<size_t>(bx);
          blocks.bits[block / 64] |= uint64_t{1} << (block % 64);
        }
      }
    }
  }
}

bool FillSeamMargin(MaskLayer& layer, const TexelCoverage& coverage, const SeamBlocks& blocks,
                    int32_t margin) {
  BloodMask& mask = layer.mask;
  margin = std::min(margin, kMaxSeamMargin);
  if (margin < 1 || mask.width < 1 || mask.height < 1 || coverage.width != mask.width ||
      coverage.height != mask.height || blocks.width != mask.width ||
      blocks.height != mask.height) {
    return false;
  }
  bool rose = false;
  for (size_t word = 0; word < blocks.bits.size(); ++word) {
    for (uint64_t bits = blocks.bits[word]; bits != 0; bits &= bits - 1) {
      const size_t block = word * 64 + static_cast<size_t>(__builtin_ctzll(bits));
      const int32_t x0 = static_cast<int32_t>(block % static_cast<size_t>(blocks.across))
                         << kSeamBlockShift;
      const int32_t y0 = static_cast<int32_t>(block / static_cast<size_t>(blocks.across))
                         << kSeamBlockShift;
      const int32_t x1 = std::min(x0 + kBlockSide, mask.width);
      const int32_t y1 = std::min(y0 + kBlockSide, mask.height);
      for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
          if (Covered(coverage, x, y) || !MayBeNear(coverage, x, y, margin)) continue;
          int32_t target = -1;
          for (int32_t d = 1; d <= margin && target < 0; ++d) {
            target = RingMax(mask, coverage, x, y, d);
          }
          if (target <= MaskAt(mask, x, y)) continue;
          SetMaskAt(mask, x, y, static_cast<uint8_t>(target));
          IncludeRect(layer.changed, {x, y, x + 1, y + 1});
          rose = true;
        }
      }
    }
  }
  if (rose) layer.dirty = true;
  return rose;
}
