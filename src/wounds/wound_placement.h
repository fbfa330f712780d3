// AddWound: the single entry through which every wound comes into being, whatever caused
// it (bullet hit, shot into a corpse, explosion, fall).
#pragma once

#include <optional>

#include "blood/blood_records.h"
#include "host/host_types.h"

// One wound to place on a ped.
struct WoundRequest {
  HostPed* ped;
  Vec3 segStart, segEnd;  // the wound lies where this segment first meets the posed mesh
  WoundProfile profile;
  const char* tag;  // prefix of the log line (null: none)
  // When set and the segment meets no triangle: the triangle whose centroid lies strictly
  // within 0.25 m of this point, nearest first.
  std::optional<Vec3> snapPoint;
  std::optional<float> lossIncrement;  // share of blood lost; default 1 / MaxBulletWounds
  std::optional<float> bleed;          // default ComputeBleed of the loss before this wound
};

// Finds the request's triangle on the ped's posed meshes, accounts the wound against the
// ped's bloodLoss, draws radius, angle and drips from the shared generator, paints it at
// age 0, keeps it flowing (at most 24, the oldest dropped), logs one line prefixed by the
// tag and evicts the least recently hit other ped beyond MaxBloodyPeds, then more of them
// while all blood together exceeds BloodMemory.
// True when the wound was recorded (painted or not) or the ped has bled out (accounted,
// nothing shown); false for radius <= 0, no skinned mesh or no triangle found.
// Triangles with a vertex index at or past the posed vertex count are never chosen.
bool AddWound(const BloodContext& ctx, const WoundRequest& request);
