#include "core/float_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "core/random.h"

namespace {

// Distance in units in the last place, through the ordered integer images of the values.
int64_t UlpDistance(double a, double b, bool asFloat) {
  if (asFloat) {
    int32_t i, j;
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    std::memcpy(&i, &fa, 4);
    std::memcpy(&j, &fb, 4);
    return std::llabs(int64_t{i < 0 ? INT32_MIN - i : i} - int64_t{j < 0 ? INT32_MIN - j : j});
  }
  int64_t i, j;
  std::memcpy(&i, &a, 8);
  std::memcpy(&j, &b, 8);
  return std::llabs((i < 0 ? INT64_MIN - i : i) - (j < 0 ? INT64_MIN - j : j));
}

// Every routine stays within 1 ulp of the C runtime's over the ranges the system uses and
// beyond (the runtime is within about 1 ulp of the exact value itself).
TEST(FloatMath, WithinOneUlpOfTheCRuntime) {
  struct Case {
    const char* name;
    std::function<double(double, double)> ours, runtime;
    double lo, hi, y;  // x drawn from [lo, hi); Powf's exponent from [-y, y]
    bool asFloat;
  };
  using namespace portable;
  const Case cases[] = {
      {"Exp", [](double x, double) { return Exp(x); }, [](double x, double) { return std::exp(x); },
       -745, 709, 0, false},
      {"Expf", [](double x, double) { return Expf(float(x)); },
       [](double x, double) { return std::exp(float(x)); }, -103, 88, 0, true},
      {"Sinf", [](double x, double) { return Sinf(float(x)); },
       [](double x, double) { return std::sin(float(x)); }, -1e5, 1e5, 0, true},
      {"Cosf", [](double x, double) { return Cosf(float(x)); },
       [](double x, double) { return std::cos(float(x)); }, -8, 8, 0, true},
      {"Powf", [](double x, double y) { return Powf(float(x), float(y)); },
       [](double x, double y) { return std::pow(float(x), float(y)); }, 0, 4, 8, true},
  };
  RandomGenerator rng;
  for (const Case& c : cases) {
    for (int i = 0; i < 100000; ++i) {
      const double x = c.lo + (c.hi - c.lo) * NextRandom(rng);
      const double y = c.y * (2 * NextRandom(rng) - 1);
      ASSERT_LE(UlpDistance(c.ours(x, y), c.runtime(x, y), c.asFloat), 1)
          << c.name << "(" << x << ", " << y << ")";
    }
  }
  EXPECT_EQ(portable::Sinf(0.0f), 0.0f);
  EXPECT_EQ(portable::Powf(0.0f, 0.35f), 0.0f);
  EXPECT_TRUE(std::isnan(portable::Sinf(INFINITY)));
}

}  // namespace
