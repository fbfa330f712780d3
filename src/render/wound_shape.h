// The shape of a wound on the posed mesh: its centre and frame in the current pose
// (PosedWound), its blot and drips at an age on a surface kind (WoundStamp), and how far
// they can reach, for the painter's culls.
#pragma once

#include <cstdint>

#include "blood/blood_records.h"
#include "render/surface_kind.h"

// Drips start kDripStartBelow R below the wound's centre: their start moves down as the
// blot grows.
constexpr float kDripStartBelow = 0.3f;

// The parts of a wound's stamp that depend on the pose alone.
struct PosedWound {
  Vec3 centre, normal, down, side, axis;
  float flatness;
};

// The wound's centre and frame on the snapshot; false, as for BuildWoundStamp, when they
// cannot be had.
bool PoseWound(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
               PosedWound& pose);

// The stamp of the posed wound at age seconds on a surface of that kind.
void StampAtAge(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age,
                SurfaceKind kind, WoundStamp& stamp);

// Poses the wound on the snapshot as it looks on a surface of that kind. False when its
// mesh is not in the snapshot or has no pose, its geometry changed, its triangle or vertex
// indices are out of range, or the posed triangle is degenerate or not finite.
bool BuildWoundStamp(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                     float age, WoundStamp& stamp, SurfaceKind kind = SurfaceKind::kPlain);

// How far from the stamp's centre a triangle's bounding sphere may lie and still be
// painted: 1.5 R + cut, or R and the longest drip's span.
float StampReach(const WoundStamp& stamp);

// Which parts of the stamp can paint a triangle within the sphere (c, rmax): bit i for
// drip i, kBlotPart for the blot; 0 when none can. A part left out would have written no
// texel.
constexpr uint32_t kBlotPart = 1u << kMaxDrips;
uint32_t ReachingParts(const WoundStamp& stamp, Vec3 c, float rmax);
