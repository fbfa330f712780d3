// Small vector helpers the painter's files share.
#pragma once

#include <algorithm>
#include <cmath>

#include "host/host_types.h"
#include "render/value_noise.h"

inline float Norm(Vec3 a) { return value_noise::Sqrt(Dot(a, a)); }

inline bool Finite(Vec3 p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

inline Vec3 Divided(Vec3 a, float s) { return {a.x / s, a.y / s, a.z / s}; }

inline float MaxAbs(Vec3 p) {
  return std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z)));
}

inline float Max3(float a, float b, float c) { return std::max(std::max(a, b), c); }

// One unit in the last place of a float of size 1, times its size, bounds its rounding.
constexpr float kUnitInLastPlace = 1.0f / 8388608.0f;
