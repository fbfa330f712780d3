// The value noise of the blot's edges, density and drips, and the per-texel jitter: one
// 32-bit integer hash over a lattice, smoothly interpolated. Inline, because the painter
// evaluates it for every texel it visits.
#pragma once

#include <cmath>
#include <cstdint>
#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "host/host_types.h"

namespace value_noise {

// The integer hash shared by the noise lattice and the texel jitter (16-bit result).
inline uint32_t Mix(uint32_t h) {
  h = (h ^ (h >> 13)) * 1274126177u;
  return ((h >> 16) ^ h) & 0xFFFFu;
}

// Kept a division: a multiplication by the reciprocal rounds 512 of the 65,536 values
// differently.
inline float Corner(uint32_t a, uint32_t b, uint32_t c) {
  return static_cast<float>(Mix((a * 73856093u) ^ (b * 19349663u) ^ (c * 83492791u))) / 65535.0f;
}

inline float Lerp(float a, float b, float t) { return a + (b - a) * t; }

inline float Smooth(float s) { return s * s * (3.0f - 2.0f * s); }

// NaN-safe on purpose: a NaN ends up at 0. Without branches where SSE is there: the
// painter clamps values that fall either side at random, which branches mispredict.
inline float Clamp01(float x) {
#if defined(__SSE__) || defined(_M_X64)
  // maxss gives its second operand when either is NaN, and +0 for -0 as the test below.
  const __m128 low = _mm_max_ss(_mm_set_ss(x), _mm_setzero_ps());
  return _mm_cvtss_f32(_mm_min_ss(low, _mm_set_ss(1.0f)));
#else
  if (!(x > 0.0f)) return 0.0f;
  return x < 1.0f ? x : 1.0f;
#endif
}

// The correctly rounded square root without the library's errno path.
inline float Sqrt(float x) {
#if defined(__SSE__) || defined(_M_X64)
  return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x)));
#else
  return std::sqrt(x);
#endif
}

// floor(x) is representable as a 32-bit lattice coordinate (false for NaN).
inline bool OnLattice(float x) { return x >= -2147483648.0f && x < 2147483648.0f; }

// floor for lattice coordinates, exact and without a library call: the conversion
// truncates towards zero and every float in range converts exactly.
inline int32_t FloorToInt(float x) {
  int32_t i = static_cast<int32_t>(x);
  return static_cast<float>(i) > x ? i - 1 : i;
}

// Smooth value noise in [0, 1]; 0 at the origin, and for inputs that are not finite or lie
// beyond the 32-bit lattice.
inline float Noise(float x, float y, float z) {
  if (!(OnLattice(x) && OnLattice(y) && OnLattice(z))) return 0.0f;
  const int32_t ix = FloorToInt(x), iy = FloorToInt(y), iz = FloorToInt(z);
  // Lattice arithmetic wraps like the host's 32-bit integers.
  const uint32_t i = static_cast<uint32_t>(ix), j = static_cast<uint32_t>(iy),
                 k = static_cast<uint32_t>(iz);
  const float sx = Smooth(x - static_cast<float>(ix));
  const float sy = Smooth(y - static_cast<float>(iy));
  const float sz = Smooth(z - static_cast<float>(iz));
  const float x00 = Lerp(Corner(i, j, k), Corner(i + 1, j, k), sx);
  const float x10 = Lerp(Corner(i, j + 1, k), Corner(i + 1, j + 1, k), sx);
  const float x01 = Lerp(Corner(i, j, k + 1), Corner(i + 1, j, k + 1), sx);
  const float x11 = Lerp(Corner(i, j + 1, k + 1), Corner(i + 1, j + 1, k + 1), sx);
  return Lerp(Lerp(x00, x10, sy), Lerp(x01, x11, sy), sz);
}

// The noise at frequency times the point q.
inline float NoiseAt(float frequency, Vec3 q) {
  return Noise(frequency * q.x, frequency * q.y, frequency * q.z);
}

}  // namespace value_noise
