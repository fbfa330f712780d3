// The one random generator shared by every part of the system: a 32-bit linear
// congruential generator whose draws are floats in [0, 1).
#pragma once

#include <cstdint>

struct RandomGenerator {
  uint32_t state = 12345;
};

// Mixes the tick count into the state (start-up).
inline void SeedRandom(RandomGenerator& rng, uint32_t ticks) { rng.state ^= ticks; }

// state = state * 1664525 + 1013904223 (mod 2^32); returns (state >> 8) * 2^-24.
inline float NextRandom(RandomGenerator& rng) {
  rng.state = rng.state * 1664525u + 1013904223u;
  return static_cast<float>(rng.state >> 8) * (1.0f / 16777216.0f);
}
