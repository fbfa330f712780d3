#include "core/float_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace portable {
namespace {

double FromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

uint64_t Bits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// 2^e for a normal exponent.
double Pow2(int e) { return FromBits(static_cast<uint64_t>(e + 1023) << 52); }

// y * 2^k for any k that Exp produces, rounding once at most.
double Scale(double y, int k) {
  if (k > 1023) return y * 2.0 * Pow2(k - 1);
  if (k < -1022) return y * Pow2(k + 1000) * Pow2(-1000);
  return y * Pow2(k);
}

// ln 2 split so that k * kLn2Hi is exact for |k| < 2^21 (fdlibm's reduction).
constexpr double kLn2Hi = 0x1.62e42fee00000p-1;
constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
constexpr double kInvLn2 = 0x1.71547652b82fep+0;

// Natural logarithm of a positive finite x: x = 2^e m with m in [sqrt(1/2), sqrt(2)),
// s = (m - 1) / (m + 1) and ln m = 2 atanh s = 2 (s + s^3/3 + s^5/5 + ...); |s| < 0.172
// so eleven terms leave an error far below the double rounding.
double Log(double x) {
  int e = 0;
  if (x < 0x1p-1022) {  // subnormal
    x *= 0x1p54;
    e = -54;
  }
  const uint64_t bits = Bits(x);
  e += static_cast<int>(bits >> 52) - 1023;
  double m = FromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
  if (m > 0x1.6a09e667f3bcdp+0) {
    m *= 0.5;
    ++e;
  }
  const double f = m - 1.0;  // exact
  const double s = f / (2.0 + f), z = s * s;
  double series = 1.0 / 23.0;
  for (int n = 10; n >= 0; --n) series = 1.0 / (2 * n + 1) + z * series;
  return e * kLn2Hi + (2.0 * s * series + e * kLn2Lo);
}

// pi / 2 in three parts: the first two have 33 significant bits, so k times them is exact
// for |k| < 2^20 (fdlibm's reduction).
constexpr double kHalfPi1 = 0x1.921fb54400000p+0;
constexpr double kHalfPi2 = 0x1.0b4611a600000p-34;
constexpr double kHalfPi3 = 0x1.3198a2e037073p-69;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr double kTwoPi = 0x1.921fb54442d18p+2;

// Taylor series on |r| <= pi / 4: the first omitted terms are below 1e-19.
double SinPoly(double r) {
  const double z = r * r;
  double p = 0.0;
  for (int n = 19; n >= 3; n -= 2) p = (1.0 - z * p) / (n * (n - 1));
  return r - r * z * p;
}

double CosPoly(double r) {
  const double z = r * r;
  double p = 0.0;
  for (int n = 18; n >= 2; n -= 2) p = (1.0 - z * p) / (n * (n - 1));
  return 1.0 - z * p;
}

// sin (x + quarter * pi / 2) for float x.
float SinQuarter(float x, int quarter) {
  double d = x;
  if (!std::isfinite(d)) return std::numeric_limits<float>::quiet_NaN();
  if (d >= 0x1p20 || d <= -0x1p20) d = std::fmod(d, kTwoPi);  // exact, but not of 2 pi itself
  const double k = std::floor(d * kTwoOverPi + 0.5);
  const double r = ((d - k * kHalfPi1) - k * kHalfPi2) - k * kHalfPi3;
  const int q = (static_cast<int>(k - 4.0 * std::floor(k / 4.0)) + quarter) & 3;
  const double result = q == 0   ? SinPoly(r)
                        : q == 1 ? CosPoly(r)
                        : q == 2 ? -SinPoly(r)
                                 : -CosPoly(r);
  return static_cast<float>(result);
}

}  // namespace

// fdlibm's e_exp: x = k ln 2 + r, |r| <= ln 2 / 2, and a rational form of e^r.
double Exp(double x) {
  if (std::isnan(x)) return x;
  if (x > 0x1.62e42fefa39efp+9) return std::numeric_limits<double>::infinity();
  if (x < -0x1.74910d52d3052p+9) return 0.0;
  const double k = std::floor(x * kInvLn2 + 0.5);
  const double hi = x - k * kLn2Hi, lo = k * kLn2Lo;
  const double r = hi - lo, t = r * r;
  const double c = r - t * (0x1.555555555553ep-3 +
                            t * (-0x1.6c16c16bebd93p-9 +
                                 t * (0x1.1566aaf25de2cp-14 +
                                      t * (-0x1.bbd41c5d26bf1p-20 + t * 0x1.6376972bea4d0p-25))));
  return Scale(1.0 - ((lo - (r * c) / (2.0 - c)) - hi), static_cast<int>(k));
}

float Expf(float x) { return static_cast<float>(Exp(x)); }

float Sinf(float x) { return SinQuarter(x, 0); }

float Cosf(float x) { return SinQuarter(x, 1); }

float Powf(float x, float y) {
  if (std::isnan(x) || std::isnan(y) || x < 0.0f) return std::numeric_limits<float>::quiet_NaN();
  if (y == 0.0f) return 1.0f;
  if (x == 0.0f) return y > 0.0f ? 0.0f : std::numeric_limits<float>::infinity();
  if (std::isinf(x)) return y > 0.0f ? x : 0.0f;
  return static_cast<float>(Exp(static_cast<double>(y) * Log(x)));
}

}  // namespace portable
