// AddWound: the single entry through which every wound comes into being, whatever caused
// it (bullet hit, shot into a corpse, explosion, fall).
#pragma once

#include <cstdint>
#include <optional>

#include "blood/blood_records.h"
#include "host/host_types.h"
#include "wounds/wound_context.h"

// Which of the segment's crossings of the posed mesh a wound lies at.
enum class Crossing : uint8_t {
  kFirst,  // nearest segStart: where a hit enters
  kLast,   // nearest segEnd: where a bullet that went through leaves again
};

// One wound to place on a ped.
struct WoundRequest {
  HostPed* ped;
  Vec3 segStart, segEnd;  // the wound lies where this segment meets the posed mesh
  WoundProfile profile;
  const char* tag;  // prefix of the log line (null: none)
  // When set and the segment meets no triangle: the triangle whose centroid lies strictly
  // within 0.25 m of this point, nearest first.
  std::optional<Vec3> snapPoint;
  std::optional<float> lossIncrement;  // share of blood lost; default 1 / MaxBulletWounds
  std::optional<float> bleed;          // default ComputeBleed of the loss before this wound
  Crossing crossing = Crossing::kFirst;
};

// What AddWound recorded, for a wound that follows from the same hit.
struct PlacedWound {
  bool recorded = false;  // false also when the ped had bled out
  float t = 0.0f;         // where along the segment: 0 at segStart, 1 at segEnd
  float bleed = 0.0f;
};

// Finds the request's triangle on the ped's posed meshes (the segment's first or last
// crossing, on equal t the first triangle met), accounts the wound against the ped's
// bloodLoss, draws radius, angle and drips from the shared generator, paints it at age 0,
// keeps it flowing (at most 24, the oldest dropped), logs one line prefixed by the tag
// ("ray hit mesh", "exit" for the last crossing, or "snapped") and evicts the least
// recently hit other ped beyond MaxBloodyPeds, then more of them while all blood together
// exceeds BloodMemory.
// True when the wound was recorded (painted or not) or the ped has bled out (accounted,
// nothing shown); false for radius <= 0, no skinned mesh or no triangle found. placed,
// when given, describes the recorded wound (recorded false when none was recorded).
// Triangles with a vertex index at or past the posed vertex count are never chosen.
bool AddWound(const WoundContext& ctx, const WoundRequest& request, PlacedWound* placed = nullptr);
