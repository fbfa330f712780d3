// Ascending order of float keys in which NaN comes after every number, so that sorting
// by a key that may be NaN (a broken host position) stays a strict weak ordering.
#pragma once

#include <cmath>

// -1 when a sorts before b, 1 when after, 0 when neither does (equal keys, or both NaN):
// the caller's tie-break decides.
inline int CompareNanLast(float a, float b) {
  const bool aNan = std::isnan(a);
  const bool bNan = std::isnan(b);
  if (aNan != bNan) return aNan ? 1 : -1;
  if (aNan || a == b) return 0;
  return a < b ? -1 : 1;
}
