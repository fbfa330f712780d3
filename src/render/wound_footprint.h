// The footprint of a flowing wound: every texel its blot and drips can reach up to some
// age, with what does not depend on age (the texel's point on the posed surface, its
// distance from the wound's centre line, its jitter and noise) worked out once, in the pose
// the ped had then. A repaint only advances the age: it evaluates the listed texels whose
// byte can still rise, and lists more as the wound's reach grows. Texels that took the most
// the wound can give them drop out. While the pose holds, the bytes are those of painting
// the wound afresh (PaintWound).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "blood/blood_records.h"
#include "render/surface_kind.h"
#include "render/texel_amount.h"
#include "render/wound_stamp.h"

// A (mesh, material) within the wound's reach by the time it stops flowing. A painting
// afresh makes a missing layer at the first triangle of it in reach, in triangle order:
// firsts holds the triangles that can be that first one as the reach grows (each nearer
// than every one before it), by their place in the order and their distance.
struct FootprintLayerKey {
  HostMesh* mesh;
  HostGeometry* geometry;  // the mesh's geometry in the footprint's pose
  int32_t material;
  SurfaceKind kind;
  std::vector<std::pair<uint32_t, float>> firsts;
};

// Which of a triangle's texels the footprint lists: none yet; those the wound's first
// painting may paint; every one it may ever paint.
enum TriangleListing : uint8_t { kNotListed, kFirstAge, kWholeLife };

// A triangle the wound can paint by the time it stops flowing.
struct FootprintTriangle {
  uint16_t key;  // index in the footprint's keys
  SurfaceKind kind;
  bool paintsForever;  // its blot has painted a texel, which it does at every later age
  uint32_t live;       // texels listed for it
  uint32_t parked;     // of those, texels that can no longer rise
  float distance;      // of its bounding sphere from the wound's centre (the triangle cull)
  TriangleBound bound;
  TriangleListing listed;
  Vec3 positions[3];
  TexCoord coordinates[3];
  TexelRect box;  // its texel box (wrapping), for the seam margin
};

struct FootprintTexel {
  Vec3 q;        // the texel's point on the posed triangle
  float dist;    // from the wound's centre line
  float jitter;  // of its mask texel
  texel_amount::TexelNoise noise;
  uint16_t column, row;
  uint16_t triangle;  // index in the footprint's triangles
  uint8_t drips;      // bit i: drip i may reach it at some age
  uint8_t cap = 0;    // the most the wound can give it over its life; 0: not known yet
};

// A listed texel nothing can paint at any age up to after: it joins the evaluated texels
// at the first painting older than that.
struct WaitingTexel {
  FootprintTexel texel;
  float after;
};

struct WoundFootprint {
  PosedWound pose;
  uint32_t poseVersion = 0;        // of the ped's pose it was made in
  float firstAge = -1.0f;          // of its first painting; < 0: not painted yet
  size_t unlisted = 0;             // triangles not listed for the wound's whole life
  bool listingCut = false;         // the last painting left triangles it reached to the next
  size_t visited = 0, listed = 0;  // texels its listings visited, and listed
  std::vector<FootprintLayerKey> keys;
  std::vector<FootprintTriangle> triangles;  // snapshot mesh order, then triangle order
  std::vector<FootprintTexel> texels;        // evaluated at every painting
  std::vector<WaitingTexel> waiting;         // by after, latest first
  std::vector<FootprintTexel> parked;
};

// Paints the wound at age seconds like PaintWound, through its footprint, which is
// extended as the wound's reach grows. With FollowPose off the footprint is made by the
// first painting and kept. With it on, a painting in a pose (poseVersion) other than the
// footprint's paints afresh and drops the footprint; one in the pose of the wound's
// previous painting makes it.
// Falls back to PaintWound, keeping no footprint, for a wound it cannot hold (a stamp
// without a positive, finite radius, a mask wider than 65,535 texels, more than 65,535
// triangles in reach). Returns the number of triangles painted.
// A painting whose listing would take more than workLimit (in texel evaluations) lists about
// that much and leaves the triangles left for the next painting (PaintingCutShort).
int32_t PaintFlowingWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, Wound& wound,
                          const PosedMeshSnapshot& snapshot, float age, uint32_t poseVersion,
                          SnapshotBounds* bounds = nullptr, size_t workLimit = SIZE_MAX);

// Whether the wound's last painting left triangles it reached unpainted for the next one.
bool PaintingCutShort(const Wound& wound);

// The work, in texel evaluations, the wound's painting at age in that pose is expected to
// take: its footprint's evaluated texels, those that wake by then and the listing of the
// triangles it reaches by then; without a footprint it will use, what its last painting took.
uint32_t PaintingWork(const BloodConfig& config, const Wound& wound, float age,
                      uint32_t poseVersion);

// Bytes the footprint holds.
size_t FootprintBytes(const WoundFootprint& footprint);
