// The records the wound model and the blood pass share: wounds, blood masks, the per-ped
// blood state, the shared tables, and the context every computation takes instead of
// reaching for globals. State only one layer uses lives in that layer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "blood/blood_mask.h"
#include "blood/texel_coverage.h"
#include "core/address_table.h"
#include "core/config.h"
#include "core/random.h"
#include "host/host_game.h"
#include "host/host_types.h"

constexpr int kMaxDrips = 6;
constexpr size_t kMaxFlowingWounds = 24;
// Seconds between two repaints of one ped's flowing wounds.
constexpr float kRefreshInterval = 0.1f;

// The shape of a wound for a weapon code and body piece.
struct WoundProfile {
  float radius;     // metres before AddWound's random scaling; <= 0: no wound
  float cut;        // metres
  float dripScale;  // factor on DripLength
  int32_t dripsMin;
  int32_t dripsMax;
};

struct WoundFootprint;

// One flowing wound; written once by AddWound but for its footprint, which the painter
// keeps.
struct Wound {
  HostMesh* mesh;
  HostGeometry* geometry;  // the mesh's geometry when the wound was made
  int32_t triangle;
  float u, v;    // barycentrics of the centre on the triangle
  float time;    // seconds at creation
  float radius;  // metres
  float cut;
  float angle;  // radians in [0, 2 pi)
  float bleed;
  int32_t dripCount;  // 0 ... kMaxDrips
  float dripOffset[kMaxDrips];
  float dripLength[kMaxDrips];
  float dripWidth[kMaxDrips];
  float paintedAge = -1.0f;                   // age of its last painting; < 0: none yet
  uint32_t paintedPose = 0;                   // the ped's pose version at that painting
  uint32_t work = 0;                          // texels that painting visited
  std::shared_ptr<WoundFootprint> footprint;  // made by the first painting; may be null
};

// A rectangle of mask texels: columns x0 ... x1 - 1, rows y0 ... y1 - 1; empty when
// x0 >= x1 or y0 >= y1.
struct TexelRect {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

inline bool IsEmpty(const TexelRect& rect) { return rect.x0 >= rect.x1 || rect.y0 >= rect.y1; }

// Grows rect to the smallest one that also holds other (rect becomes other when empty).
inline void IncludeRect(TexelRect& rect, const TexelRect& other) {
  if (IsEmpty(other)) return;
  if (IsEmpty(rect)) {
    rect = other;
    return;
  }
  rect.x0 = std::min(rect.x0, other.x0);
  rect.y0 = std::min(rect.y0, other.y0);
  rect.x1 = std::max(rect.x1, other.x1);
  rect.y1 = std::max(rect.y1, other.y1);
}

// One blood mask of one (mesh, material) of a ped, with its host texture.
struct MaskLayer {
  HostMesh* mesh = nullptr;
  HostGeometry* geometry = nullptr;  // the mesh's geometry when the layer was made
  int32_t materialIndex = 0;
  BloodMask mask;                  // (2 * MaskSize) x MaskSize amounts
  HostTexture* texture = nullptr;  // owned; made by the first upload
  bool dirty = true;               // the texture lags the mask (or does not exist yet)
  TexelRect changed;               // texels written since the last upload
  float lastPaint = 0.0f;          // seconds of the last painting
  float lastUpload = 0.0f;         // seconds the texture was last brought up to date
  float uploadColour[3] = {};      // drying colour the texture's pixels were converted with
};

// The pose a ped had at its latest snapshot; version counts the changes, so that a
// footprint can tell whether the pose it was made in still holds.
struct LastPose {
  std::vector<HostMesh*> meshes;
  std::vector<HostGeometry*> geometries;
  std::vector<std::vector<Vec3>> positions;
  uint32_t version = 0;
};

struct PedBloodState {
  std::vector<MaskLayer> layers;  // creation order
  std::vector<Wound> wounds;      // flowing, oldest first, at most kMaxFlowingWounds
  uint32_t lastHitClock = 0;  // host milliseconds of the latest wound attempt that found the mesh
  float nextRefreshTime = 0.0f;  // seconds
  size_t refreshCursor = 0;      // wounds already repainted by a refresh the budget cut short
  int32_t woundCounter = 0;      // attempts that found the mesh, bled-out ones included
  float bloodLoss = 0.0f;        // 1.0: bled out
  uint64_t lossUnits = 0;        // bloodLoss counted exactly (see AddBloodLoss)
  LastPose pose;                 // kept while FollowPose is on
  uint64_t serial = 0;           // order of creation: ties in the paint budget go by it
};

// A wound posed for one painting.
struct WoundStamp {
  Vec3 centre;
  Vec3 normal;   // unit normal N of the wound's triangle
  Vec3 down;     // unit direction D in which blood runs on the surface
  Vec3 side;     // N x D
  Vec3 axis;     // unit major axis A in the surface plane
  float radius;  // effective blot radius R
  float cut;     // half-length of the elongation along A
  float bleed;
  float flatness;          // 0 on steep surfaces up to 1 on level ones
  float edgeInner = 0.5f;  // share of the noisy edge radius where the blot starts to fade
  int32_t dripCount;       // 0 ... kMaxDrips
  Vec3 dripStart[kMaxDrips];
  float dripSpan[kMaxDrips];  // at least 0.001
  float dripWidth[kMaxDrips];
};

// A ped's meshes with world-space, CPU-skinned vertex positions, built per use (wound
// placement, the refresh of flowing wounds, painting).
struct PosedMeshSnapshot {
  std::vector<HostMesh*> meshes;  // host enumeration order
  // Parallel to meshes: one world position per vertex of the mesh's geometry; empty when
  // skinning that mesh failed. Users skip meshes whose list is empty.
  std::vector<std::vector<Vec3>> positions;
};

// The texture-space copy of a skinned host geometry the blood pass draws (BloodGeometry).
struct BloodGeometryEntry {
  HostGeometry* copy;     // owned by the cache: destroyed when the entry is dropped
  int32_t vertexCount;    // the source's when the copy was made
  int32_t triangleCount;  // the source's when the copy was made
  HostSkin* skin;         // the source's skin record when the copy was made
  uint64_t copyBytes;     // of the copy's arrays
  float lastUse;          // seconds of the latest lookup that returned the copy
  // Per material index, made the first time the seam margin needs it.
  std::vector<TexelCoverage> coverages;
};

// A copy whose source changed while the frame may still draw it: destroyed once the
// clock has moved on.
struct RetiredGeometry {
  HostGeometry* copy;
  uint64_t copyBytes;
  float lastUse;  // seconds
};

// The tables the wound model and the blood pass both use, made once at start-up.
struct BloodTables {
  BloodTables() {
    ShapeAddressTable(bloodStates);
    ShapeAddressTable(corpseDeathTimes);
    ShapeAddressTable(bloodGeometryCache);
  }

  // Hash tables, in their construction order.
  AddressTable<HostPed, PedBloodState> bloodStates;
  AddressTable<HostPed, float> corpseDeathTimes;  // seconds of first-seen death
  // One copy per source geometry, shared by every ped that uses it.
  AddressTable<HostGeometry, BloodGeometryEntry> bloodGeometryCache;
  std::vector<RetiredGeometry> retiredGeometries;

  bool playerWasDead = false;
  uint64_t statesMade = 0;      // blood states made so far (their serials)
  int32_t memoryEvictions = 0;  // peds whose blood BloodMemory dropped
};

// What a computation reads and writes beyond its arguments: the host, the settings, the
// shared random generator, the tables, and the clock when the host called in.
struct BloodContext {
  HostGame& host;
  const BloodConfig& config;
  RandomGenerator& rng;
  BloodTables& tables;
  float now;  // seconds
};
