// AddWound: the single entry through which every wound comes into being.
#pragma once

#include "damage/wound_profile.h"
#include "host/host_types.h"

// Finds where the segment segStart..segEnd meets the ped's posed meshes (or, with
// allowSnap, the triangle whose centroid is nearest snapPoint within 0.25 m), accounts the
// wound, paints it at age 0, keeps it flowing and logs it. A negative lossIncrement means
// 1 / MaxBulletWounds; a negative bleed means ComputeBleed. True when triangles were
// painted or the ped has bled out.
bool AddWound(HostPed* ped, Vec3 segStart, Vec3 segEnd, Vec3 snapPoint,
              const WoundProfile& profile, const char* tag, bool allowSnap,
              float lossIncrement, float bleed);
