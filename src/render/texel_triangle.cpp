#include "render/texel_triangle.h"

namespace {

inline float Min3(float a, float b, float c) { return std::min(std::min(a, b), c); }
inline float Max3(float a, float b, float c) { return std::max(std::max(a, b), c); }

}  // namespace

bool MapTexelTriangle(const TexCoord coordinates[3], int32_t columns, int32_t rows,
                      TexelTriangle& t) {
  const float w = static_cast<float>(columns), h = static_cast<float>(rows);
  const float ou = std::floor(Min3(coordinates[0].u, coordinates[1].u, coordinates[2].u));
  const float ov = std::floor(Min3(coordinates[0].v, coordinates[1].v, coordinates[2].v));
  const float x0 = (coordinates[0].u - ou) * w - 0.5f, y0 = (coordinates[0].v - ov) * h - 0.5f;
  const float x1 = (coordinates[1].u - ou) * w - 0.5f, y1 = (coordinates[1].v - ov) * h - 0.5f;
  const float x2 = (coordinates[2].u - ou) * w - 0.5f, y2 = (coordinates[2].v - ov) * h - 0.5f;
  // Non-finite coordinates would defeat the span test below and the integer bounds.
  if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(x2) || !std::isfinite(y0) ||
      !std::isfinite(y1) || !std::isfinite(y2)) {
    return false;
  }
  const float area = (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0);
  if (std::fabs(area) < 0.0001f) return false;

  const float firstX = std::floor(Min3(x0, x1, x2)) - 1.0f;
  const float lastX = std::ceil(Max3(x0, x1, x2)) + 1.0f;
  const float firstY = std::floor(Min3(y0, y1, y2)) - 1.0f;
  const float lastY = std::ceil(Max3(y0, y1, y2)) + 1.0f;
  if (!(lastX - firstX <= 2.0f * w) || !(lastY - firstY <= 2.0f * h)) return false;
  // Within a few mask widths of the tile origin from here on.
  const int32_t beginX = static_cast<int32_t>(firstX), endX = static_cast<int32_t>(lastX);
  const int32_t beginY = static_cast<int32_t>(firstY), endY = static_cast<int32_t>(lastY);
  const float epsilon =
      1.0f / static_cast<float>(std::max(std::max(endX - beginX, endY - beginY), 1));

  // Float evaluation of a weight errs by at most a few units in the last place of the
  // largest term, 16 ulp of (box extent x edge lengths) / area plus a little; four times
  // that is the tolerance.
  const double extent = static_cast<double>(endX - beginX) + static_cast<double>(endY - beginY);
  const double edges =
      std::fabs(x1 - x0) + std::fabs(y1 - y0) + std::fabs(x2 - x0) + std::fabs(y2 - y0);
  t = {x0,
       y0,
       x1,
       y1,
       x2,
       y2,
       area,
       beginX,
       endX,
       beginY,
       endY,
       epsilon,
       {x0, y0, x1 - x0, y1 - y0, x2 - x0, y2 - y0, area,
        epsilon + 4e-6 * (1.0 + extent * edges / std::fabs(area))}};
  return true;
}
