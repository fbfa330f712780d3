// Helpers of the damage intake tests: the log's pointer text, the shared generator's draw
// arithmetic, where a recorded wound sits on the posed mesh, and where a fall lands.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "core/random.h"
#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "host/sim/sim_host.h"
#include "wounds/blood_state.h"
#include "wounds/posed_mesh.h"

// A pointer as the log prints it.
inline std::string PointerText(const void* p) {
  char text[2 * sizeof(void*) + 1];
  std::snprintf(text, sizeof(text), "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                reinterpret_cast<uintptr_t>(p));
  return text;
}

// Number of draws that lead the generator from before to after (-1 beyond 200).
inline int DrawsBetween(uint32_t before, uint32_t after) {
  RandomGenerator rng{before};
  for (int n = 0; n <= 200; ++n) {
    if (rng.state == after) return n;
    NextRandom(rng);
  }
  return -1;
}

// A generator state whose next draw is exactly k * 2^-24.
inline uint32_t StateDrawing(uint32_t k) {
  uint32_t inverse = 1664525u;  // Newton's iteration for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 1664525u * inverse;
  return ((k << 8) - 1013904223u) * inverse;
}

// The first generator state from 0 up whose next draws satisfy accept(generator copy).
template <typename Accept>
uint32_t FindSeed(Accept accept) {
  uint32_t seed = 0;
  while (!accept(RandomGenerator{seed})) ++seed;
  return seed;
}

// World position of a recorded wound's centre on the ped's current pose (NaN when its mesh
// is not posed).
inline Vec3 WoundCentre(const WoundContext& ctx, HostPed* ped, const Wound& wound) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  PosedMeshSnapshot snapshot;
  if (!TakePosedMeshSnapshot(ctx, ped, snapshot)) return {nan, nan, nan};
  for (size_t m = 0; m < snapshot.meshes.size(); ++m) {
    if (snapshot.meshes[m] != wound.mesh || snapshot.positions[m].empty()) continue;
    const HostTriangle& tri = SimHost::Sim(ctx.host.MeshGeometry(wound.mesh))
                                  ->triangles[static_cast<size_t>(wound.triangle)];
    const std::vector<Vec3>& p = snapshot.positions[m];
    const Vec3 v0 = p[tri.vertex[0]];
    return v0 + (p[tri.vertex[1]] - v0) * wound.u + (p[tri.vertex[2]] - v0) * wound.v;
  }
  return {nan, nan, nan};
}

// The bone a fall wounds: the lowest of the sixteen bones a fall may land on.
inline int32_t LowestFallBone(SimHost& sim, const ProceduralPed& ped) {
  using namespace game::bone;
  const int32_t fallBones[] = {kHead,          kUpperTorso,   kSpine,     kPelvis,
                               kRightUpperArm, kRightForearm, kRightHand, kLeftUpperArm,
                               kLeftForearm,   kLeftHand,     kLeftThigh, kLeftCalf,
                               kRightThigh,    kRightCalf,    kLeftFoot,  kRightFoot};
  int32_t lowest = -1;
  float lowestZ = 1e9f;
  for (int32_t bone : fallBones) {
    const float z = ProceduralBonePosition(sim, ped, bone).z;
    if (z < lowestZ) lowestZ = z, lowest = bone;
  }
  return lowest;
}
