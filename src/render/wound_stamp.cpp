#include "render/wound_stamp.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/float_math.h"
#include "render/blood_geometry.h"
#include "render/material_coverage.h"
#include "render/seam_margin.h"
#include "render/texel_amount.h"
#include "render/texel_triangle.h"
#include "render/value_noise.h"

namespace {

using texel_amount::TexelNoise;
using value_noise::Noise;
using value_noise::Sqrt;

inline float Norm(Vec3 a) { return Sqrt(Dot(a, a)); }

inline bool Finite(Vec3 p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

inline Vec3 Divided(Vec3 a, float s) { return {a.x / s, a.y / s, a.z / s}; }

inline float MaxAbs(Vec3 p) {
  return std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z)));
}

inline float Max3(float a, float b, float c) { return std::max(std::max(a, b), c); }

// Fills bounds with the centroid and vertex reach of every triangle whose vertices all
// have positions (NaN for the others, which no test passes).
void BoundTriangles(const HostTriangle* triangles, int32_t count, const std::vector<Vec3>& posed,
                    std::vector<TriangleBound>& bounds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  bounds.assign(static_cast<size_t>(count), TriangleBound{{nan, nan, nan}, nan});
  const size_t limit = posed.size();
  for (int32_t t = 0; t < count; ++t) {
    const HostTriangle& tri = triangles[t];
    if (tri.vertex[0] >= limit || tri.vertex[1] >= limit || tri.vertex[2] >= limit) continue;
    const Vec3 p[3] = {posed[tri.vertex[0]], posed[tri.vertex[1]], posed[tri.vertex[2]]};
    const Vec3 c = Divided(p[0] + p[1] + p[2], 3.0f);
    // sqrt is monotonic, so the largest distance is the root of the largest square.
    const float rmax =
        Sqrt(Max3(Dot(p[0] - c, p[0] - c), Dot(p[1] - c, p[1] - c), Dot(p[2] - c, p[2] - c)));
    bounds[static_cast<size_t>(t)] = {c, rmax};
  }
}

// An interval of columns, lo ... hi (empty when lo > hi).
struct ColumnRange {
  double lo, hi;
  void Cover(double a, double b) {
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  }
};

// Where a + b x lies within [low, high], added to range.
void CoverLinear(double a, double b, double low, double high, double& lo, double& hi) {
  if (b > 0.0) {
    lo = std::max(lo, (low - a) / b);
    hi = std::min(hi, (high - a) / b);
  } else if (b < 0.0) {
    lo = std::max(lo, (high - a) / b);
    hi = std::min(hi, (low - a) / b);
  } else if (a < low || a > high) {
    lo = INFINITY;
    hi = -INFINITY;
  }
}

struct Vec3d {
  double x, y, z;
};
inline Vec3d Widen(Vec3 v) { return {v.x, v.y, v.z}; }
inline double DotD(Vec3d a, Vec3d b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3d Along(Vec3d a, Vec3d d, double t) {
  return {a.x + d.x * t, a.y + d.y * t, a.z + d.z * t};
}
inline Vec3d Less(Vec3d a, Vec3d b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// PaintTriangle for the parts of the stamp in parts (see ReachingParts).
bool Rasterise(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
               const TexCoord coordinates[3], const WoundStamp& stamp, uint32_t parts,
               size_t& visits);

}  // namespace

float ValueNoise3(float x, float y, float z) { return Noise(x, y, z); }

uint32_t TexelJitter(uint32_t column, uint32_t row) {
  return value_noise::Mix((row * 19349663u) ^ (column * 73856093u) ^ 0x22D5FE01u);
}

MaskLayer& GetOrCreateLayer(const BloodContext& ctx, std::vector<MaskLayer>& layers, HostMesh* mesh,
                            int32_t materialIndex) {
  for (MaskLayer& layer : layers) {
    if (layer.mesh == mesh && layer.materialIndex == materialIndex) return layer;
  }
  MaskLayer layer;
  layer.mesh = mesh;
  layer.geometry = ctx.host.MeshGeometry(mesh);
  layer.materialIndex = materialIndex;
  const int32_t size = ctx.config.MaskSize;
  if (size > 0) ResetMask(layer.mask, 2 * size, size);
  layers.push_back(std::move(layer));
  return layers.back();
}

bool PoseWound(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
               PosedWound& pose) {
  const auto found = std::find(snapshot.meshes.begin(), snapshot.meshes.end(), wound.mesh);
  if (found == snapshot.meshes.end()) return false;
  const size_t k = static_cast<size_t>(found - snapshot.meshes.begin());
  if (k >= snapshot.positions.size() || snapshot.positions[k].empty()) return false;
  HostGame& host = ctx.host;
  HostGeometry* geometry = host.MeshGeometry(wound.mesh);
  if (geometry != wound.geometry) return false;
  const GeometryView view = host.GetGeometry(geometry);
  if (!view.triangles || wound.triangle < 0 || wound.triangle >= view.triangleCount) return false;
  const HostTriangle& tri = view.triangles[wound.triangle];
  const std::vector<Vec3>& posed = snapshot.positions[k];
  if (tri.vertex[0] >= posed.size() || tri.vertex[1] >= posed.size() ||
      tri.vertex[2] >= posed.size()) {
    return false;
  }
  const Vec3 p0 = posed[tri.vertex[0]], p1 = posed[tri.vertex[1]], p2 = posed[tri.vertex[2]];

  const float u = wound.u, v = wound.v;
  const Vec3 centre = p0 * (1.0f - u - v) + p1 * u + p2 * v;
  const Vec3 e1 = p1 - p0, e2 = p2 - p0;
  const Vec3 n = Cross(e1, e2);
  const float nLength = Length(n), e1Length = Length(e1);
  // Written to fail on NaN as well: a pose that is not finite gives no stamp.
  if (!(nLength >= 1e-8f) || !(e1Length >= 1e-6f) || !Finite(centre)) return false;
  const Vec3 normal = Divided(n, nLength);
  const Vec3 tangent = Divided(e1, e1Length);
  const Vec3 binormal = Cross(normal, tangent);

  // Gravity projected onto the surface; too little of it (level ground) runs along B.
  const Vec3 gravity{0.0f, 0.0f, -1.0f};
  const Vec3 g = gravity - normal * Dot(normal, gravity);
  const float slope = Length(g);
  const Vec3 down = slope > 0.05f ? Divided(g, slope) : binormal;

  pose.centre = centre;
  pose.normal = normal;
  pose.down = down;
  pose.side = Cross(normal, down);
  pose.axis = portable::Cosf(wound.angle) * tangent + portable::Sinf(wound.angle) * binormal;
  pose.flatness = 1.0f - std::min(1.0f, slope / 0.6f);
  return true;
}

void StampAtAge(const BloodConfig& config, const Wound& wound, const PosedWound& pose, float age,
                SurfaceKind kind, WoundStamp& stamp) {
  const SurfaceResponse& response = kSurfaceResponses[static_cast<int>(kind)];
  const float flatness = pose.flatness;
  const float f1 = 1.0f - portable::Expf(-age / response.growthTime);
  const float f2 = 1.0f - portable::Expf(-3.0f * age / config.FlowTime);
  const float radius = (wound.bleed * 0.6f + 0.4f) * wound.radius * (f1 * 0.55f + 0.45f) *
                       (flatness * 0.6f * f1 + 1.0f) * response.radiusScale;

  stamp.centre = pose.centre;
  stamp.normal = pose.normal;
  stamp.down = pose.down;
  stamp.side = pose.side;
  stamp.axis = pose.axis;
  stamp.radius = radius;
  stamp.cut = wound.cut;
  stamp.bleed = wound.bleed;
  stamp.flatness = flatness;
  stamp.edgeInner = response.edgeInner;
  stamp.dripCount = std::min(std::max(wound.dripCount, 0), kMaxDrips);
  for (int i = 0; i < stamp.dripCount; ++i) {
    stamp.dripStart[i] =
        pose.centre + pose.side * wound.dripOffset[i] + pose.down * (0.3f * radius);
    stamp.dripSpan[i] =
        std::max(0.001f, f2 * wound.dripLength[i] * (1.0f - flatness) * response.dripScale);
    stamp.dripWidth[i] = wound.dripWidth[i];
  }
}

bool BuildWoundStamp(const BloodContext& ctx, const Wound& wound, const PosedMeshSnapshot& snapshot,
                     float age, WoundStamp& stamp, SurfaceKind kind) {
  PosedWound pose;
  if (!PoseWound(ctx, wound, snapshot, pose)) return false;
  StampAtAge(ctx.config, wound, pose, age, kind, stamp);
  return true;
}

bool PaintTriangle(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
                   const TexCoord coordinates[3], const WoundStamp& stamp) {
  size_t visits = 0;
  return Rasterise(layer, maskSize, positions, coordinates, stamp, ~0u, visits);
}

namespace {

bool Rasterise(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
               const TexCoord coordinates[3], const WoundStamp& stamp, uint32_t parts,
               size_t& visits) {
  if (!(stamp.bleed > 0.0f)) return false;
  if (!Finite(positions[0]) || !Finite(positions[1]) || !Finite(positions[2])) return false;
  const int64_t size = maskSize;
  // A mask that exists has a size that fits 32-bit texel arithmetic.
  if (size < 1 || layer.mask.width != 2 * size || layer.mask.height != size) return false;
  const int32_t columns = static_cast<int32_t>(2 * size), rows = static_cast<int32_t>(size);
  TexelTriangle triangle;
  if (!MapTexelTriangle(coordinates, columns, rows, triangle)) return false;
  const int32_t beginX = triangle.beginX, endX = triangle.endX;
  const int32_t beginY = triangle.beginY, endY = triangle.endY;
  const RowSpans& spans = triangle.spans;

  const Vec3 p0 = positions[0], p1 = positions[1], p2 = positions[2];
  const Vec3 centre = stamp.centre, axis = stamp.axis, down = stamp.down;
  const float cut = stamp.cut, radius = stamp.radius;
  // Beyond 1.35 R even the widest noisy blot edge (1.3 R) leaves the smoothstep at exactly
  // 1, so the blot amount is exactly 0 and its square root and noise can be skipped.
  const float zeroBeyond = texel_amount::kZeroBeyond * radius;
  const float blotReachSq = radius > 0.0f ? zeroBeyond * zeroBeyond : INFINITY;
  const bool blot = (parts & kBlotPart) != 0;
  int drips[kMaxDrips];
  int dripCount = 0;
  for (int i = 0; i < stamp.dripCount; ++i) {
    if (parts & (1u << i)) drips[dripCount++] = i;
  }
  // Inside the triangle (no weight below 0) the texel's point is p0 + e1 w1 + e2 w2 but
  // for rounding, a few units in the last place of the largest coordinate at play; 32 of
  // them (slack) are the margin of a cheap test that drops texels no part can paint.
  const Vec3 e1 = p1 - p0, e2 = p2 - p0;
  float largest = std::max(MaxAbs(p0), std::max(MaxAbs(p1), MaxAbs(p2)));
  largest = std::max(largest, MaxAbs(centre));
  for (int n = 0; n < dripCount; ++n)
    largest = std::max(largest, MaxAbs(stamp.dripStart[drips[n]]));
  const float slack = 32.0f * largest * (1.0f / 8388608.0f) + 1e-6f;
  // Without a positive radius the blot has no edge to stop at: every texel may be painted.
  const float blotCull = texel_amount::kZeroBeyond * 1.001f * radius + cut + slack;
  const float blotCullSq = !blot ? -1.0f : radius > 0.0f ? blotCull * blotCull : INFINITY;
  float acrossCull[kMaxDrips], alongLow[kMaxDrips], alongHigh[kMaxDrips];
  for (int n = 0; n < dripCount; ++n) {
    const int i = drips[n];
    acrossCull[n] = texel_amount::kDripReach * stamp.dripWidth[i] + slack;
    alongLow[n] = -stamp.dripWidth[i] - slack;
    alongHigh[n] = stamp.dripSpan[i] + slack;
  }
  const Vec3 side = stamp.side;

  BloodMask& mask = layer.mask;
  bool written = false;

  // Along a row the point of a texel inside the triangle is affine in its column. Solved
  // in double with margins far beyond the float test's rounding, the columns surely inside
  // the triangle whose point surely misses every part are left out; every other column
  // is tested as before, so the bytes are those of the whole row.
  const double margin = 2.0 * static_cast<double>(slack) + 1e-5;
  const Vec3d origin = Widen(p0), d1 = Widen(e1), d2 = Widen(e2), c0 = Widen(centre);
  const Vec3d downD = Widen(down), sideD = Widen(side);
  const double blotRadius = blotCullSq > 0.0f ? std::sqrt(static_cast<double>(blotCullSq)) : -1.0;
  const bool clip = std::isfinite(blotRadius);

  for (int32_t y = beginY; y <= endY; ++y) {
    const float fy = static_cast<float>(y);
    int32_t first, last;
    spans.Solve(y, beginX, endX, first, last);
    if (last >= first) visits += static_cast<size_t>(last - first + 1);
    // Columns lo ... hi of this row left out (none when lo > hi), in two pieces around the
    // columns that can reach a part.
    int32_t skipLo[2] = {1, 1}, skipHi[2] = {0, 0};
    // Short rows are cheaper to test whole than to solve.
    if (clip && last - first >= 24) {
      const double ry = static_cast<double>(y) - spans.y0;
      const double s1 = spans.dy2 / spans.area,
                   o1 = (-spans.x0 * spans.dy2 - ry * spans.dx2) / spans.area;
      const double s2 = -spans.dy1 / spans.area,
                   o2 = (spans.dx1 * ry + spans.dy1 * spans.x0) / spans.area;
      // Surely inside: every weight at least the tolerance, and a column more.
      double inLo = first, inHi = last;
      CoverLinear(o1, s1, spans.limit, INFINITY, inLo, inHi);
      CoverLinear(o2, s2, spans.limit, INFINITY, inLo, inHi);
      CoverLinear(1.0 - o1 - o2, -s1 - s2, spans.limit, INFINITY, inLo, inHi);
      const Vec3d g0 = Along(Along(origin, d1, o1), d2, o2);
      const Vec3d gd = {d1.x * s1 + d2.x * s2, d1.y * s1 + d2.y * s2, d1.z * s1 + d2.z * s2};
      ColumnRange reach{INFINITY, -INFINITY};
      if (blotRadius >= 0.0) {
        const Vec3d r0 = Less(g0, c0);
        const double qa = DotD(gd, gd), qb = 2.0 * DotD(gd, r0);
        const double rr = blotRadius + margin;
        const double qc = DotD(r0, r0) - rr * rr;
        if (qa < 1e-30) {
          if (qc <= 0.0) reach.Cover(-INFINITY, INFINITY);
        } else if (const double disc = qb * qb - 4.0 * qa * qc; disc >= 0.0) {
          const double root = std::sqrt(disc);
          reach.Cover((-qb - root) / (2.0 * qa), (-qb + root) / (2.0 * qa));
        }
      }
      for (int n = 0; n < dripCount; ++n) {
        const Vec3d r0 = Less(g0, Widen(stamp.dripStart[drips[n]]));
        double lo = -INFINITY, hi = INFINITY;
        CoverLinear(DotD(r0, downD), DotD(gd, downD), alongLow[n] - margin, alongHigh[n] + margin,
                    lo, hi);
        CoverLinear(DotD(r0, sideD), DotD(gd, sideD), -acrossCull[n] - margin,
                    acrossCull[n] + margin, lo, hi);
        if (lo <= hi) reach.Cover(lo, hi);
      }
      const double a = std::ceil(inLo) + 1.0, b = std::floor(inHi) - 1.0;
      if (a <= b) {
        const double reachLo = std::floor(reach.lo) - 1.0, reachHi = std::ceil(reach.hi) + 1.0;
        if (!(reachLo <= reachHi)) {
          skipLo[0] = static_cast<int32_t>(a);
          skipHi[0] = static_cast<int32_t>(b);
        } else {
          if (reachLo > a) {
            skipLo[0] = static_cast<int32_t>(a);
            skipHi[0] = static_cast<int32_t>(std::min(b, reachLo - 1.0));
          }
          if (reachHi < b) {
            skipLo[1] = static_cast<int32_t>(std::max(a, reachHi + 1.0));
            skipHi[1] = static_cast<int32_t>(b);
          }
        }
      }
    }
    for (int32_t x = first; x <= last; ++x) {
      if (x >= skipLo[0] && x <= skipHi[0]) x = skipHi[0] + 1;
      if (x >= skipLo[1] && x <= skipHi[1]) x = skipHi[1] + 1;
      if (x > last) break;
      const float fx = static_cast<float>(x);
      float w0, w1, w2;
      if (!WeighTexel(triangle, fx, fy, w0, w1, w2)) continue;
      if (w0 >= 0.0f && w1 >= 0.0f && w2 >= 0.0f) {
        const Vec3 guess = p0 + e1 * w1 + e2 * w2;
        const Vec3 fromCentre = guess - centre;
        bool reached = Dot(fromCentre, fromCentre) <= blotCullSq;
        for (int n = 0; n < dripCount && !reached; ++n) {
          const Vec3 r = guess - stamp.dripStart[drips[n]];
          const float along = Dot(r, down);
          reached = along >= alongLow[n] && along <= alongHigh[n] &&
                    std::fabs(Dot(r, side)) < acrossCull[n];
        }
        if (!reached) continue;
      }
      const int32_t column = WrapTexel(x, columns);
      const int32_t row = WrapTexel(y, rows);
      const float jitter = texel_amount::JitterOf(
          TexelJitter(static_cast<uint32_t>(column), static_cast<uint32_t>(row)));
      const uint8_t current = MaskAt(mask, column, row);
      // No amount exceeds 1, so no value exceeds the jitter's own: once the triangle counts
      // as painted, a texel already there (the core of a flowing wound) cannot rise.
      if (written && current >= texel_amount::TexelValue(jitter, 1.0f)) continue;

      const Vec3 q = texel_amount::TexelPoint(p0, p1, p2, w0, w1, w2);
      const Vec3 rel = texel_amount::FromCentreLine(q, centre, axis, cut);
      const float distSq = Dot(rel, rel);

      TexelNoise noise;
      float amount = 0.0f;
      if (blot && !(distSq > blotReachSq)) {
        amount = texel_amount::BlotAmount(stamp, q, Sqrt(distSq), noise);
      }
      for (int n = 0; n < dripCount; ++n) texel_amount::AddDrip(stamp, drips[n], q, noise, amount);
      const float final = value_noise::Clamp01(amount);
      if (!(final >= texel_amount::kLeastAmount)) continue;

      const uint8_t value = texel_amount::TexelValue(jitter, final);
      if (value > current) {
        SetMaskAt(mask, column, row, value);
        IncludeRect(layer.changed, {column, row, column + 1, row + 1});
      }
      written = true;
    }
  }
  return written;
}

}  // namespace

uint32_t ReachingParts(const WoundStamp& stamp, Vec3 c, float rmax) {
  constexpr float kSlack = 1.001f, kGap = 1e-5f;
  uint32_t parts = 0;
  const float blot = (1.35f * stamp.radius + stamp.cut) * kSlack + kGap;
  // Without a positive radius the blot has no edge to stop at.
  if (!(stamp.radius > 0.0f) || Norm(c - stamp.centre) - rmax <= blot) parts |= kBlotPart;
  for (int i = 0; i < stamp.dripCount; ++i) {
    const Vec3 r = c - stamp.dripStart[i];
    const float width = stamp.dripWidth[i];
    const float across = std::fabs(Dot(r, stamp.side)) - rmax;
    const float along = Dot(r, stamp.down);
    if (across <= 1.2f * width * kSlack + kGap && along + rmax >= -width * kSlack - kGap &&
        along - rmax <= stamp.dripSpan[i] * kSlack + kGap) {
      parts |= 1u << i;
    }
  }
  return parts;
}

float StampReach(const WoundStamp& stamp) {
  float reach = 1.5f * stamp.radius + stamp.cut;
  for (int i = 0; i < stamp.dripCount; ++i) {
    reach = std::max(reach, stamp.radius + stamp.dripSpan[i]);
  }
  return reach;
}

bool PaintableMeshAt(const BloodContext& ctx, const PosedMeshSnapshot& snapshot, size_t k,
                     int kinds, SnapshotBounds& bounds, PaintableMesh& m) {
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  if (k >= meshCount) return false;
  const std::vector<Vec3>& posed = snapshot.positions[k];
  if (posed.empty()) return false;
  HostGame& host = ctx.host;
  HostMesh* mesh = snapshot.meshes[k];
  HostGeometry* geometry = host.MeshGeometry(mesh);
  HostGeometry* copy = GetBloodGeometry(ctx, geometry);
  if (!copy) return false;
  const GeometryView source = host.GetGeometry(geometry);
  const GeometryView blood = host.GetGeometry(copy);
  if (!source.triangles || !blood.texCoords) return false;
  bounds.meshes.resize(meshCount);
  if (kinds > 1) {
    bounds.kinds.resize(meshCount);
    bounds.kindsKnown.resize(meshCount, false);
    if (!bounds.kindsKnown[k]) {
      MaterialSurfaceKinds(ctx, geometry, bounds.kinds[k]);
      bounds.kindsKnown[k] = true;
    }
  }
  m.mesh = mesh;
  m.geometry = geometry;
  m.triangles = source.triangles;
  m.triangleCount = std::max(source.triangleCount, 0);
  m.texCoords = blood.texCoords;
  m.vertexLimit = std::min(posed.size(), static_cast<size_t>(std::max(blood.vertexCount, 0)));
  m.points = posed.data();
  m.kinds = kinds > 1 ? &bounds.kinds[k] : nullptr;
  std::vector<TriangleBound>& meshBounds = bounds.meshes[k];
  if (meshBounds.size() != static_cast<size_t>(m.triangleCount)) {
    BoundTriangles(m.triangles, m.triangleCount, posed, meshBounds);
  }
  m.bounds = &meshBounds;
  return true;
}

int32_t PaintWound(const BloodContext& ctx, std::vector<MaskLayer>& layers, const Wound& wound,
                   const PosedMeshSnapshot& snapshot, float age, SnapshotBounds* shared,
                   size_t* work) {
  size_t visits = 0;
  // One stamp per surface kind; the plain one alone while no list names a texture.
  WoundStamp stamps[kSurfaceKinds];
  float reaches[kSurfaceKinds];
  const int kinds = SurfacesNamed(ctx.config) ? kSurfaceKinds : 1;
  for (int kind = 0; kind < kinds; ++kind) {
    WoundStamp& stamp = stamps[kind];
    if (!BuildWoundStamp(ctx, wound, snapshot, age, stamp, static_cast<SurfaceKind>(kind))) {
      return 0;
    }
    reaches[kind] = StampReach(stamp);
  }

  const float now = ctx.now;
  int32_t count = 0;
  const size_t meshCount = std::min(snapshot.meshes.size(), snapshot.positions.size());
  SnapshotBounds own;
  SnapshotBounds& bounds = shared ? *shared : own;
  const int32_t margin = ctx.config.SeamMargin;
  std::vector<SeamBlocks> raised;  // per layer index: near texels this painting raised
  for (size_t k = 0; k < meshCount; ++k) {
    PaintableMesh m;
    if (!PaintableMeshAt(ctx, snapshot, k, kinds, bounds, m)) continue;
    HostMesh* mesh = m.mesh;
    HostGeometry* geometry = m.geometry;
    const size_t vertexLimit = m.vertexLimit;
    const HostTriangle* triangles = m.triangles;
    const TexCoord* texCoords = m.texCoords;
    const Vec3* points = m.points;
    const int32_t triangleCount = m.triangleCount;
    const std::vector<SurfaceKind>* materialKinds = m.kinds;
    const std::vector<TriangleBound>& meshBounds = *m.bounds;
    for (int32_t t = 0; t < triangleCount; ++t) {
      const HostTriangle& tri = triangles[t];
      const uint16_t i0 = tri.vertex[0], i1 = tri.vertex[1], i2 = tri.vertex[2];
      if (i0 >= vertexLimit || i1 >= vertexLimit || i2 >= vertexLimit) continue;
      const Vec3 c = meshBounds[static_cast<size_t>(t)].centre;
      const float rmax = meshBounds[static_cast<size_t>(t)].radius;
      const int kind = static_cast<int>(KindOf(materialKinds, tri.material));
      const WoundStamp& stamp = stamps[kind];
      const float reach = reaches[kind];
      const Vec3 offset = c - stamp.centre;
      const float offsetSq = Dot(offset, offset);
      // Far beyond reach for sure without the root; the exact test decides the rest and is
      // written to skip NaN too (a triangle that is not finite is out of reach).
      const float limit = reach + rmax;
      if (offsetSq > 1.01f * limit * limit || !(Sqrt(offsetSq) - rmax <= reach)) continue;
      const Vec3 p[3] = {points[i0], points[i1], points[i2]};
      const TexCoord coordinates[3] = {texCoords[i0], texCoords[i1], texCoords[i2]};
      MaskLayer& layer = GetOrCreateLayer(ctx, layers, mesh, tri.material);
      const uint32_t parts = ReachingParts(stamp, c, rmax);
      // The seam margin works only around the triangles that raised texels: the rises
      // are told apart from those already waiting for the upload.
      const TexelRect waiting = layer.changed;
      if (margin > 0) layer.changed = TexelRect{};
      const bool painted =
          parts != 0 && Rasterise(layer, ctx.config.MaskSize, p, coordinates, stamp, parts, visits);
      if (margin > 0) {
        const size_t index = static_cast<size_t>(&layer - layers.data());
        if (raised.size() <= index) raised.resize(index + 1);
        const int32_t columns = layer.mask.width, rows = layer.mask.height;
        TexelTriangle box;
        if (!IsEmpty(layer.changed) && MapTexelTriangle(coordinates, columns, rows, box)) {
          MarkSeamBlocks(raised[index], columns, rows,
                         {box.beginX, box.beginY, box.endX + 1, box.endY + 1}, margin);
        }
        IncludeRect(layer.changed, waiting);
      }
      if (painted) {
        // A painting that raised no texel leaves the texture as it is (its colour follows
        // with the drying refresh): repaints of a flowing wound mostly raise nothing.
        if (!IsEmpty(layer.changed)) {
          layer.dirty = true;
        }
        layer.lastPaint = now;
        ++count;
      }
    }
    for (size_t i = 0; i < raised.size(); ++i) {
      if (raised[i].bits.empty()) continue;
      const TexelCoverage* coverage = GetTexelCoverage(ctx, geometry, layers[i].materialIndex);
      if (coverage) FillSeamMargin(layers[i], *coverage, raised[i], margin);
    }
    raised.clear();
  }
  if (work) *work = visits;
  return count;
}
