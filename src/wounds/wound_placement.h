// AddWound: the single entry through which every wound comes into being, whatever caused
// it (bullet hit, shot into a corpse, explosion, fall).
#pragma once

#include "damage/wound_profile.h"
#include "host/host_types.h"

// Finds the triangle of the ped's posed meshes nearest segStart along segStart..segEnd
// (or, with allowSnap, the triangle whose centroid lies strictly within 0.25 m of
// snapPoint, nearest first), accounts the wound against the ped's bloodLoss (a negative
// lossIncrement means 1 / MaxBulletWounds; a negative bleed means ComputeBleed of the loss
// before this wound), draws radius, angle and drips from the shared generator, paints it
// at age 0, keeps it flowing (at most 24, the oldest dropped), logs one line prefixed by
// tag and evicts the least recently hit other ped beyond MaxBloodyPeds.
// True when the wound was recorded (painted or not) or the ped has bled out (accounted,
// nothing shown); false for radius <= 0, no skinned mesh or no triangle found.
// Triangles with a vertex index at or past the posed vertex count are never chosen.
bool AddWound(HostPed* ped, Vec3 segStart, Vec3 segEnd, Vec3 snapPoint, const WoundProfile& profile,
              const char* tag, bool allowSnap, float lossIncrement, float bleed);
