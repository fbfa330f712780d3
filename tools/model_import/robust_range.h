// The extent of a model along one axis, kept from being stretched by a few stray points.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

// The least and greatest of the values that lie within half the central 98% range beyond
// it; non-finite values are ignored. A far vertex or joint (a rig helper, a stray point)
// then does not shrink the model to a dot. False when no value is finite.
inline bool RobustRange(std::vector<float> values, float* lo, float* hi) {
  values.erase(
      std::remove_if(values.begin(), values.end(), [](float v) { return !std::isfinite(v); }),
      values.end());
  if (values.empty()) return false;
  std::sort(values.begin(), values.end());
  const size_t trim = values.size() / 100;
  const float a = values[trim], b = values[values.size() - 1 - trim];
  const float slack = 0.5f * (b - a);
  *lo = *std::lower_bound(values.begin(), values.end(), a - slack);
  *hi = *(std::upper_bound(values.begin(), values.end(), b + slack) - 1);
  return true;
}
