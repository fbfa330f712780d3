#include "render/footprint_listing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "render/texel_triangle.h"
#include "render/value_noise.h"
#include "render/vector_helpers.h"

namespace {

using value_noise::Sqrt;
// What listing triangles for the wound's whole life tests texels against: the culls of
// its first painting and of FlowTime, and the wake ages (none for the first painting,
// which lists only what its own age may paint).
struct WholeLifeCulls {
  AgeCulls first, ever;
  WakeCulls wakes;
};

std::unique_ptr<WholeLifeCulls> WholeLifeCullsOf(const BloodConfig& config, const Wound& wound,
                                                 const WoundFootprint& fp, bool firstPainting) {
  auto life = std::make_unique<WholeLifeCulls>();
  life->first = CullsAt(config, wound, fp.pose, fp.firstAge);
  life->ever = CullsAt(config, wound, fp.pose, config.FlowTime);
  if (!firstPainting) WakeCullsAfter(config, wound, fp.pose, fp.firstAge, life->wakes);
  return life;
}

// Where the texels of one listing go.
struct Listing {
  WakeCulls& wakes;
  float now;  // the age of the painting that lists them
  std::vector<FootprintTexel>& texels;
  std::vector<WaitingTexel>& waiting;
};

// Lists the texels of triangle index that the cull lists takes and the first painting's
// (before, when the triangle was listed at it) did not; returns how many.
uint32_t ListTexels(const FootprintTriangle& e, const PosedWound& pose, uint16_t index,
                    int32_t maskSize, const TexelCull& lists, const TexelCull* before,
                    const TexelCull& ever, float cut, Listing& out, size_t& visits) {
  const int32_t columns = 2 * maskSize, rows = maskSize;
  TexelTriangle triangle;
  if (!MapTexelTriangle(e.coordinates, columns, rows, triangle)) return 0;
  uint32_t listed = 0;
  const Vec3 p0 = e.positions[0], p1 = e.positions[1], p2 = e.positions[2];
  const Vec3 centre = pose.centre, axis = pose.axis;
  float largest = std::max(MaxAbs(p0), std::max(MaxAbs(p1), MaxAbs(p2)));
  largest = std::max(largest, MaxAbs(centre));
  const float margin = kTexelCullUnits * largest * kUnitInLastPlace + kTexelCullFloor;
  for (int32_t y = triangle.beginY; y <= triangle.endY; ++y) {
    int32_t first, last;
    triangle.spans.Solve(y, triangle.beginX, triangle.endX, first, last);
    if (last >= first) visits += static_cast<size_t>(last - first + 1);
    const float fy = static_cast<float>(y);
    for (int32_t x = first; x <= last; ++x) {
      float w0, w1, w2;
      if (!WeighTexel(triangle, static_cast<float>(x), fy, w0, w1, w2)) continue;
      const Vec3 q = texel_amount::TexelPoint(p0, p1, p2, w0, w1, w2);
      const Vec3 rel = texel_amount::FromCentreLine(q, centre, axis, cut);
      const float dist = Sqrt(Dot(rel, rel));
      const bool now = BlotMayPaint(lists, dist, margin) || DripsThatMayPaint(lists, q, margin);
      if (!now) continue;
      if (before &&
          (BlotMayPaint(*before, dist, margin) || DripsThatMayPaint(*before, q, margin))) {
        continue;
      }
      const int32_t column = WrapTexel(x, columns), row = WrapTexel(y, rows);
      FootprintTexel texel;
      texel.q = q;
      texel.dist = dist;
      texel.jitter = texel_amount::JitterOf(
          TexelJitter(static_cast<uint32_t>(column), static_cast<uint32_t>(row)));
      texel.column = static_cast<uint16_t>(column);
      texel.row = static_cast<uint16_t>(row);
      texel.triangle = index;
      texel.drips = DripsThatMayPaint(ever, q, margin);
      const float after = WaitsUntil(out.wakes, static_cast<int>(e.kind), texel, margin);
      if (std::isinf(after)) continue;
      if (after < out.now) {
        out.texels.push_back(texel);
      } else {
        out.waiting.push_back({texel, after});
      }
      ++listed;
    }
  }
  return listed;
}

// Which triangles a listing at one age walks: those not listed for the wound's whole life
// that it may reach then.
struct ListingReach {
  AgeCulls culls;
  float reaches[kSurfaceKinds];

  bool Walks(const FootprintTriangle& e, Vec3 centre) const {
    const int kind = static_cast<int>(e.kind);
    return e.listed != kWholeLife && e.distance <= reaches[kind] &&
           !BeyondCull(culls.kinds[kind], e.bound, centre, kTriangleMargin);
  }
};

ListingReach ListingReachAt(const BloodConfig& config, const Wound& wound, const PosedWound& pose,
                            float age) {
  ListingReach reach;
  reach.culls = CullsAt(config, wound, pose, age);
  for (int kind = 0; kind < SurfaceKindsIn(config); ++kind) {
    WoundStamp stamp;
    StampAtAge(config, wound, pose, age, static_cast<SurfaceKind>(kind), stamp);
    reach.reaches[kind] = StampReach(stamp);
  }
  return reach;
}

// A listing's work in texel evaluations: visiting a texel of a triangle's span costs about
// a quarter of one; listing a texel (its noise, its wake age, its place) about twelve.
constexpr size_t kVisitsPerWork = 4;
constexpr size_t kWorkPerListed = 12;
// Before a footprint has listed anything, about one texel visited in ten is taken to be
// listed, as over the fights measured.
constexpr size_t kVisitsPerListed = 10;

size_t WorkOf(size_t visits, size_t listed) {
  return visits / kVisitsPerWork + listed * kWorkPerListed;
}

// Merges newly listed waiting texels into those waiting from earlier paintings, latest
// first, each group keeping its order among equals, the earlier ones first. From the back
// and in place: a merge buffer as large as the footprint would be fresh memory every time.
void MergeWaiting(std::vector<WaitingTexel>& waiting, std::vector<WaitingTexel>& added) {
  const auto later = [](const WaitingTexel& a, const WaitingTexel& b) { return a.after > b.after; };
  std::stable_sort(added.begin(), added.end(), later);
  size_t old = waiting.size(), fresh = added.size();
  waiting.resize(old + fresh);
  for (size_t out = old + fresh; fresh > 0; --out) {
    if (old > 0 && later(added[fresh - 1], waiting[old - 1])) {
      waiting[out - 1] = waiting[--old];
    } else {
      waiting[out - 1] = added[--fresh];
    }
  }
}

}  // namespace

size_t ListingWork(const BloodConfig& config, const Wound& wound, const WoundFootprint& fp,
                   float age) {
  if (fp.unlisted == 0 || !(wound.bleed > 0.0f)) return 0;
  const ListingReach reach = ListingReachAt(config, wound, fp.pose, age);
  size_t visits = 0;
  for (const FootprintTriangle& e : fp.triangles) {
    if (!reach.Walks(e, fp.pose.centre)) continue;
    // About half a triangle's box lies inside it.
    const int64_t area = (static_cast<int64_t>(e.box.x1) - e.box.x0) * (e.box.y1 - e.box.y0);
    visits += static_cast<size_t>(std::max<int64_t>(area, 0) / 2);
  }
  // The footprint's listings so far tell how much of what it visits it lists.
  const size_t listed = fp.visited > 0 ? static_cast<size_t>(static_cast<double>(visits) *
                                                             static_cast<double>(fp.listed) /
                                                             static_cast<double>(fp.visited))
                                       : visits / kVisitsPerListed;
  return WorkOf(visits, listed);
}

size_t Extend(const BloodConfig& config, const Wound& wound, WoundFootprint& fp, float age,
              size_t workLimit) {
  size_t visits = 0, listed = 0;
  fp.listingCut = false;
  const bool first = fp.firstAge < 0.0f;
  if (first) fp.firstAge = age;
  if (!(wound.bleed > 0.0f)) return 0;
  const ListingReach reach = ListingReachAt(config, wound, fp.pose, age);
  // The culls of the whole life, worked out only when a triangle needs them.
  std::unique_ptr<WholeLifeCulls> life;
  std::vector<WaitingTexel> waiting;
  const Vec3 centre = fp.pose.centre;
  for (size_t t = 0; t < fp.triangles.size(); ++t) {
    FootprintTriangle& e = fp.triangles[t];
    const int kind = static_cast<int>(e.kind);
    if (!reach.Walks(e, centre)) continue;
    // Past the limit the rest waits for the next painting; the first painting lists all.
    if (!first && visits > 0 && WorkOf(visits, listed) >= workLimit) {
      fp.listingCut = true;
      break;
    }
    if (!life) life = WholeLifeCullsOf(config, wound, fp, first);
    const TexelCull* previous = e.listed == kFirstAge ? &life->first.kinds[kind] : nullptr;
    // A triangle the first painting took whole by its blot has nothing left to list: with
    // a margin of a millimetre the test is far from rounding.
    if (previous && WithinBlot(*previous, e.bound, centre, kTriangleMargin)) {
      e.listed = kWholeLife;
      --fp.unlisted;
      continue;
    }
    Listing out{life->wakes, age, fp.texels, waiting};
    const TexelCull& lists = first ? reach.culls.kinds[kind] : life->ever.kinds[kind];
    const uint32_t added = ListTexels(e, fp.pose, static_cast<uint16_t>(t), config.MaskSize, lists,
                                      previous, life->ever.kinds[kind], wound.cut, out, visits);
    e.live += added;
    listed += added;
    e.listed = first ? kFirstAge : kWholeLife;
    if (!first) --fp.unlisted;
  }
  MergeWaiting(fp.waiting, waiting);
  fp.visited += visits;
  fp.listed += listed;
  return WorkOf(visits, listed);
}

namespace {

// The key of (mesh, material), added when new; kMostIndices when there are too many.
size_t KeyOf(WoundFootprint& fp, const PaintableMesh& m, uint16_t material) {
  for (size_t i = 0; i < fp.keys.size(); ++i) {
    if (fp.keys[i].mesh == m.mesh && fp.keys[i].material == material) return i;
  }
  if (fp.keys.size() >= kMostIndices) return kMostIndices;
  fp.keys.push_back({m.mesh, m.geometry, material, KindOf(m.kinds, material), {}});
  return fp.keys.size() - 1;
}

}  // namespace

bool MakeFootprint(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                   const PosedWound& pose, SnapshotBounds& bounds, uint32_t poseVersion,
                   WoundFootprint& fp) {
  const BloodConfig& config = ctx.config;
  if (config.MaskSize < 1 || 2 * static_cast<int64_t>(config.MaskSize) > int64_t{kMostIndices}) {
    return false;
  }
  fp.pose = pose;
  fp.poseVersion = poseVersion;
  const int kinds = SurfaceKindsIn(config);
  float reaches[kSurfaceKinds];
  for (int kind = 0; kind < kinds; ++kind) {
    WoundStamp youngest, oldest;
    StampAtAge(config, wound, fp.pose, 0.0f, static_cast<SurfaceKind>(kind), youngest);
    StampAtAge(config, wound, fp.pose, config.FlowTime, static_cast<SurfaceKind>(kind), oldest);
    // The cull needs an edge to stop at.
    if (!(youngest.radius > 0.0f) || !std::isfinite(oldest.radius)) return false;
    reaches[kind] = StampReach(oldest);
  }
  const AgeCulls ever = CullsAt(config, wound, fp.pose, config.FlowTime);
  const bool bleeds = wound.bleed > 0.0f;
  const int32_t columns = 2 * config.MaskSize, rows = config.MaskSize;
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  uint32_t order = 0;
  for (size_t k = 0; k < meshCount; ++k) {
    PaintableMesh m;
    if (!PaintableMeshAt(ctx, snapshot, k, kinds, bounds, m)) continue;
    for (int32_t t = 0; t < m.triangleCount; ++t) {
      const HostTriangle& tri = m.triangles[t];
      const uint16_t i0 = tri.vertex[0], i1 = tri.vertex[1], i2 = tri.vertex[2];
      if (i0 >= m.vertexLimit || i1 >= m.vertexLimit || i2 >= m.vertexLimit) continue;
      const TriangleBound bound = (*m.bounds)[static_cast<size_t>(t)];
      const int kind = static_cast<int>(KindOf(m.kinds, tri.material));
      const Vec3 offset = bound.centre - fp.pose.centre;
      const float distance = Sqrt(Dot(offset, offset)) - bound.radius;
      if (!(distance <= reaches[kind])) continue;
      const size_t key = KeyOf(fp, m, tri.material);
      if (key >= kMostIndices) return false;
      auto& firsts = fp.keys[key].firsts;
      if (firsts.empty() || distance < firsts.back().second) firsts.push_back({order, distance});
      ++order;
      if (!bleeds || BeyondCull(ever.kinds[kind], bound, fp.pose.centre, kTriangleMargin)) continue;
      if (fp.triangles.size() >= kMostIndices) return false;
      FootprintTriangle e;
      e.key = static_cast<uint16_t>(key);
      e.kind = static_cast<SurfaceKind>(kind);
      e.paintsForever = false;
      e.live = 0;
      e.parked = 0;
      e.distance = distance;
      e.bound = bound;
      e.listed = kNotListed;
      e.positions[0] = m.points[i0];
      e.positions[1] = m.points[i1];
      e.positions[2] = m.points[i2];
      e.coordinates[0] = m.texCoords[i0];
      e.coordinates[1] = m.texCoords[i1];
      e.coordinates[2] = m.texCoords[i2];
      TexelTriangle box;
      e.box = TexelRect{};
      if (Finite(e.positions[0]) && Finite(e.positions[1]) && Finite(e.positions[2]) &&
          MapTexelTriangle(e.coordinates, columns, rows, box)) {
        e.box = {box.beginX, box.beginY, box.endX + 1, box.endY + 1};
      }
      fp.triangles.push_back(e);
    }
  }
  fp.unlisted = fp.triangles.size();
  return true;
}
