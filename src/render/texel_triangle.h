// A triangle of texture coordinates laid over the texels of a blood mask: the painter's
// mapping (the tile of its smallest coordinates, texel centres half a texel in) and the
// weight test that decides which texels it takes. The painter and the seam coverage share
// them, so a coverage holds exactly the texels the painter may ever write.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "host/host_types.h"

// The weights of a texel (x, y) are affine in x along a row; solving them in double,
// widened by a bound on the rounding of their float evaluation (tolerance) and by one
// texel, gives the columns of a row that can pass the weight test. The float test still
// decides every texel, so the texels taken are those of a scan over the whole box.
struct RowSpans {
  double x0, y0, dx1, dy1, dx2, dy2, area, limit;

  // Columns [first, last] of row y within [begin, end]; first > last when none.
  void Solve(int32_t y, int32_t begin, int32_t end, int32_t& first, int32_t& last) const {
    const double fy = static_cast<double>(y) - y0;
    // w_k(x) = slope_k * x + offset_k.
    const double slope1 = dy2 / area, offset1 = (-x0 * dy2 - fy * dx2) / area;
    const double slope2 = -dy1 / area, offset2 = (dx1 * fy + dy1 * x0) / area;
    const double slopes[3] = {-slope1 - slope2, slope1, slope2};
    const double offsets[3] = {1.0 - offset1 - offset2, offset1, offset2};
    double lo = begin, hi = end;
    for (int k = 0; k < 3; ++k) {
      const double bound = -limit - offsets[k];  // slope * x >= bound
      if (slopes[k] > 0.0) {
        lo = std::max(lo, bound / slopes[k]);
      } else if (slopes[k] < 0.0) {
        hi = std::min(hi, bound / slopes[k]);
      } else if (bound > 0.0) {
        lo = end + 1.0;
      }
    }
    lo = std::floor(lo) - 1.0;
    hi = std::ceil(hi) + 1.0;
    first = lo <= begin ? begin : (lo > end ? end + 1 : static_cast<int32_t>(lo));
    last = hi >= end ? end : (hi < begin ? begin - 1 : static_cast<int32_t>(hi));
  }
};

// A triangle in texel space. Texel (x, y) of the box stands for mask texel
// (WrapTexel(x, columns), WrapTexel(y, rows)).
struct TexelTriangle {
  float x0, y0, x1, y1, x2, y2;        // vertices, in texels from the tile's corner
  float area;                          // twice the signed area, texel^2
  int32_t beginX, endX, beginY, endY;  // the box, inclusive: one texel past the vertices
  float epsilon;                       // how far below 0 a weight may fall
  RowSpans spans;
};

// Maps coordinates onto a columns x rows mask. False for a triangle the painter refuses:
// coordinates that are not finite, a texel-space area below 0.0001 texel^2, or a box wider
// than twice the mask in either direction.
bool MapTexelTriangle(const TexCoord coordinates[3], int32_t columns, int32_t rows,
                      TexelTriangle& triangle);

// The weights of texel (fx, fy) of the box (its integer coordinates as floats); true when
// none lies below -epsilon.
inline bool WeighTexel(const TexelTriangle& t, float fx, float fy, float& w0, float& w1,
                       float& w2) {
  w1 = ((fx - t.x0) * (t.y2 - t.y0) - (fy - t.y0) * (t.x2 - t.x0)) / t.area;
  w2 = ((t.x1 - t.x0) * (fy - t.y0) - (t.y1 - t.y0) * (fx - t.x0)) / t.area;
  w0 = 1.0f - w1 - w2;
  return !(w0 < -t.epsilon || w1 < -t.epsilon || w2 < -t.epsilon);
}

// Wraps a texel coordinate within a few mask sizes of the mask onto it.
inline int32_t WrapTexel(int32_t i, int32_t size) {
  while (i < 0) i += size;
  while (i >= size) i -= size;
  return i;
}
