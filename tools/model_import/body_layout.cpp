#include "body_layout.h"

#include <algorithm>
#include <cmath>

#include "robust_range.h"

namespace {

// A bone placed at the middle of the points in a band of heights (shares of the height)
// on one side: -1 the left (x < 0), +1 the right, 0 the trunk (within the trunk's width).
struct Band {
  int32_t bone;
  float low, high;
  int side;
};

constexpr Band kBands[] = {
    {5, 0.90f, 1.00f, 0},  {4, 0.83f, 0.88f, 0},   {3, 0.68f, 0.78f, 0},   {2, 0.56f, 0.64f, 0},
    {1, 0.47f, 0.53f, 0},  {41, 0.36f, 0.44f, -1}, {42, 0.22f, 0.30f, -1}, {43, 0.0f, 0.06f, -1},
    {51, 0.36f, 0.44f, 1}, {52, 0.22f, 0.30f, 1},  {53, 0.0f, 0.06f, 1},
};
// The arms: sought among the points at these heights that reach past the trunk.
constexpr float kArmLow = 0.45f, kArmHigh = 0.86f;
constexpr float kChestLow = 0.6f, kChestHigh = 0.75f;
constexpr float kShoulder = 0.82f;
// Upper arm, forearm and hand: shares of the way from the trunk's edge to the farthest reach.
constexpr float kArmSegments[4] = {0.0f, 0.4f, 0.8f, 1.01f};

struct Centroid {
  Vec3 sum{0, 0, 0};
  int count = 0;
  void Add(const Vec3& p) { sum = sum + p, ++count; }
  bool Get(Vec3* out) const {
    if (count == 0) return false;
    *out = sum * (1.0f / static_cast<float>(count));
    return true;
  }
};

bool OnSide(const Vec3& p, int side, float trunk) {
  return side == 0 ? std::fabs(p.x) <= trunk : (side < 0 ? p.x < 0.0f : p.x > 0.0f);
}

// Half the trunk's width: twice the middle distance from the centre line at chest height
// (mostly trunk there, whether the arms hang or reach out).
float TrunkHalfWidth(const std::vector<Vec3>& points, float height) {
  std::vector<float> distances;
  for (const Vec3& p : points) {
    if (p.z >= kChestLow * height && p.z <= kChestHigh * height)
      distances.push_back(std::fabs(p.x));
  }
  if (distances.empty()) return 0.1f * height;
  std::nth_element(distances.begin(), distances.begin() + distances.size() / 2, distances.end());
  return 2.0f * distances[distances.size() / 2];
}

// Clavicle, upper arm, forearm and hand of one side (+1 the right).
void PlaceArm(const std::vector<Vec3>& points, float height, float trunk, int side,
              std::vector<std::pair<int32_t, Vec3>>& out) {
  const int32_t first = side > 0 ? 21 : 31;
  std::vector<float> reach;
  for (const Vec3& p : points) {
    if (p.z >= kArmLow * height && p.z <= kArmHigh * height && p.x * side > 0.0f) {
      reach.push_back(p.x * side);
    }
  }
  float low = 0.0f, reachMax = trunk;
  if (!RobustRange(reach, &low, &reachMax)) reachMax = trunk;
  reachMax = std::max(reachMax, trunk);
  out.push_back({first, {0.5f * trunk * side, 0.0f, kShoulder * height}});
  for (int s = 0; s < 3; ++s) {
    const float from = trunk + kArmSegments[s] * (reachMax - trunk);
    const float to = trunk + kArmSegments[s + 1] * (reachMax - trunk);
    Centroid centroid;
    for (const Vec3& p : points) {
      const float x = p.x * side;
      if (p.z >= kArmLow * height && p.z <= kArmHigh * height && x >= from && x <= to) {
        centroid.Add(p);
      }
    }
    Vec3 at{0.5f * (from + to) * side, 0.0f, kShoulder * height};
    centroid.Get(&at);
    out.push_back({first + 1 + s, at});
  }
}

}  // namespace

std::vector<std::pair<int32_t, Vec3>> GuessBodyLayout(const std::vector<Vec3>& points) {
  std::vector<float> heights;
  for (const Vec3& p : points) heights.push_back(p.z);
  float bottom = 0.0f, top = 0.0f;
  if (!RobustRange(heights, &bottom, &top) || !(top > 0.0f)) return {};
  const float trunk = TrunkHalfWidth(points, top);
  std::vector<std::pair<int32_t, Vec3>> layout;
  for (const Band& band : kBands) {
    Centroid centroid;
    for (const Vec3& p : points) {
      if (p.z >= band.low * top && p.z <= band.high * top && OnSide(p, band.side, trunk)) {
        centroid.Add(p);
      }
    }
    Vec3 at{0.5f * trunk * static_cast<float>(band.side), 0.0f,
            0.5f * (band.low + band.high) * top};
    centroid.Get(&at);
    layout.push_back({band.bone, at});
  }
  PlaceArm(points, top, trunk, 1, layout);
  PlaceArm(points, top, trunk, -1, layout);
  return layout;
}
