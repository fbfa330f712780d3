#include "render/triangle_raster.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "render/texel_amount.h"
#include "render/texel_triangle.h"
#include "render/vector_helpers.h"
#include "render/wound_shape.h"
#include "render/wound_stamp.h"

namespace {

using texel_amount::TexelNoise;

// The cheap float test that drops texels no part can paint has a margin of kCullUnits
// units in the last place of the largest coordinate at play, and at least kCullFloor.
constexpr float kCullUnits = 32.0f, kCullFloor = 1e-6f;
// Room for rounding in the blot's cull.
constexpr float kCullSlack = 1.001f;
// Rows this short are cheaper to test whole than to solve.
constexpr int32_t kShortRow = 24;
// The solved rows' margin beyond twice the float test's.
constexpr double kRowGap = 1e-5;

// What the stamp's parts in play reach: the blot within its cull, and each drip's band.
struct PartCulls {
  bool blot;
  float blotReachSq;  // beyond it the blot's amount is exactly 0
  float blotCullSq;   // -1 without the blot, INFINITY without an edge to stop at
  int drips[kMaxDrips];
  int dripCount;
  float acrossCull[kMaxDrips], alongLow[kMaxDrips], alongHigh[kMaxDrips];
  float slack;
};

PartCulls CullsOf(const WoundStamp& stamp, uint32_t parts, const Vec3 p[3]) {
  PartCulls c;
  const float radius = stamp.radius;
  // Beyond 1.35 R even the widest noisy blot edge (1.3 R) leaves the smoothstep at exactly
  // 1, so the blot amount is exactly 0 and its square root and noise can be skipped.
  const float zeroBeyond = texel_amount::kZeroBeyond * radius;
  c.blotReachSq = radius > 0.0f ? zeroBeyond * zeroBeyond : INFINITY;
  c.blot = (parts & kBlotPart) != 0;
  c.dripCount = 0;
  for (int i = 0; i < stamp.dripCount; ++i) {
    if (parts & (1u << i)) c.drips[c.dripCount++] = i;
  }
  // Inside the triangle (no weight below 0) the texel's point is p0 + e1 w1 + e2 w2 but
  // for rounding, a few units in the last place of the largest coordinate at play.
  float largest = std::max(MaxAbs(p[0]), std::max(MaxAbs(p[1]), MaxAbs(p[2])));
  largest = std::max(largest, MaxAbs(stamp.centre));
  for (int n = 0; n < c.dripCount; ++n) {
    largest = std::max(largest, MaxAbs(stamp.dripStart[c.drips[n]]));
  }
  c.slack = kCullUnits * largest * kUnitInLastPlace + kCullFloor;
  // Without a positive radius the blot has no edge to stop at: every texel may be painted.
  const float blotCull = texel_amount::kZeroBeyond * kCullSlack * radius + stamp.cut + c.slack;
  c.blotCullSq = !c.blot ? -1.0f : radius > 0.0f ? blotCull * blotCull : INFINITY;
  for (int n = 0; n < c.dripCount; ++n) {
    const int i = c.drips[n];
    c.acrossCull[n] = texel_amount::kDripReach * stamp.dripWidth[i] + c.slack;
    c.alongLow[n] = -stamp.dripWidth[i] - c.slack;
    c.alongHigh[n] = stamp.dripSpan[i] + c.slack;
  }
  return c;
}

// Whether some part may paint a point inside the triangle (by the cheap float test).
bool SomePartMayPaint(const PartCulls& c, const WoundStamp& stamp, Vec3 guess) {
  const Vec3 fromCentre = guess - stamp.centre;
  if (Dot(fromCentre, fromCentre) <= c.blotCullSq) return true;
  for (int n = 0; n < c.dripCount; ++n) {
    const Vec3 r = guess - stamp.dripStart[c.drips[n]];
    const float along = Dot(r, stamp.down);
    if (along >= c.alongLow[n] && along <= c.alongHigh[n] &&
        std::fabs(Dot(r, stamp.side)) < c.acrossCull[n]) {
      return true;
    }
  }
  return false;
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

// Along a row the point of a texel inside the triangle is affine in its column. Solved in
// double with margins far beyond the float test's rounding, the columns surely inside the
// triangle whose point surely misses every part are left out; every other column is
// tested as before, so the bytes are those of the whole row.
struct RowClip {
  Vec3d origin, d1, d2, centre, down, side;
  double blotRadius;  // of the blot's cull; < 0 without the blot
  double margin;
  bool clips;  // false while the blot has no edge to stop at
};

RowClip RowClipOf(const PartCulls& c, const WoundStamp& stamp, const Vec3 p[3]) {
  RowClip clip;
  clip.origin = Widen(p[0]);
  clip.d1 = Widen(p[1] - p[0]);
  clip.d2 = Widen(p[2] - p[0]);
  clip.centre = Widen(stamp.centre);
  clip.down = Widen(stamp.down);
  clip.side = Widen(stamp.side);
  clip.margin = 2.0 * static_cast<double>(c.slack) + kRowGap;
  clip.blotRadius = c.blotCullSq > 0.0f ? std::sqrt(static_cast<double>(c.blotCullSq)) : -1.0;
  clip.clips = std::isfinite(clip.blotRadius);
  return clip;
}

// Columns lo ... hi of a row left out (none when lo > hi), in two pieces around the
// columns that can reach a part.
struct ColumnSkip {
  int32_t lo[2] = {1, 1}, hi[2] = {0, 0};
};

// The columns of row g0 + gd x that some part may reach, by the solved culls.
ColumnRange ReachedColumns(const RowClip& clip, const PartCulls& c, const WoundStamp& stamp,
                           Vec3d g0, Vec3d gd) {
  ColumnRange reach{INFINITY, -INFINITY};
  if (clip.blotRadius >= 0.0) {
    const Vec3d r0 = Less(g0, clip.centre);
    const double qa = DotD(gd, gd), qb = 2.0 * DotD(gd, r0);
    const double rr = clip.blotRadius + clip.margin;
    const double qc = DotD(r0, r0) - rr * rr;
    if (qa < 1e-30) {
      if (qc <= 0.0) reach.Cover(-INFINITY, INFINITY);
    } else if (const double disc = qb * qb - 4.0 * qa * qc; disc >= 0.0) {
      const double root = std::sqrt(disc);
      reach.Cover((-qb - root) / (2.0 * qa), (-qb + root) / (2.0 * qa));
    }
  }
  for (int n = 0; n < c.dripCount; ++n) {
    const Vec3d r0 = Less(g0, Widen(stamp.dripStart[c.drips[n]]));
    double lo = -INFINITY, hi = INFINITY;
    CoverLinear(DotD(r0, clip.down), DotD(gd, clip.down), c.alongLow[n] - clip.margin,
                c.alongHigh[n] + clip.margin, lo, hi);
    CoverLinear(DotD(r0, clip.side), DotD(gd, clip.side), -c.acrossCull[n] - clip.margin,
                c.acrossCull[n] + clip.margin, lo, hi);
    if (lo <= hi) reach.Cover(lo, hi);
  }
  return reach;
}

ColumnSkip SkippedColumns(const RowClip& clip, const PartCulls& c, const WoundStamp& stamp,
                          const RowSpans& spans, int32_t y, int32_t first, int32_t last) {
  ColumnSkip skip;
  if (!clip.clips || last - first < kShortRow) return skip;
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
  const double a = std::ceil(inLo) + 1.0, b = std::floor(inHi) - 1.0;
  if (!(a <= b)) return skip;
  const Vec3d g0 = Along(Along(clip.origin, clip.d1, o1), clip.d2, o2);
  const Vec3d gd = {clip.d1.x * s1 + clip.d2.x * s2, clip.d1.y * s1 + clip.d2.y * s2,
                    clip.d1.z * s1 + clip.d2.z * s2};
  const ColumnRange reach = ReachedColumns(clip, c, stamp, g0, gd);
  const double reachLo = std::floor(reach.lo) - 1.0, reachHi = std::ceil(reach.hi) + 1.0;
  if (!(reachLo <= reachHi)) {
    skip.lo[0] = static_cast<int32_t>(a);
    skip.hi[0] = static_cast<int32_t>(b);
    return skip;
  }
  if (reachLo > a) {
    skip.lo[0] = static_cast<int32_t>(a);
    skip.hi[0] = static_cast<int32_t>(std::min(b, reachLo - 1.0));
  }
  if (reachHi < b) {
    skip.lo[1] = static_cast<int32_t>(std::max(a, reachHi + 1.0));
    skip.hi[1] = static_cast<int32_t>(b);
  }
  return skip;
}

// One triangle being rasterised.
struct RasterJob {
  MaskLayer& layer;
  const TexelTriangle& triangle;
  const WoundStamp& stamp;
  const PartCulls& culls;
  Vec3 p0, p1, p2, e1, e2;
  int32_t columns, rows;
};

// Paints texel (x, y) of the triangle where the stamp raises it; true when the stamp
// gives it paint. Once the triangle has written (written), a texel already at its most
// is passed by.
bool PaintTexelAt(const RasterJob& job, int32_t x, int32_t y, bool written) {
  float w0, w1, w2;
  if (!WeighTexel(job.triangle, static_cast<float>(x), static_cast<float>(y), w0, w1, w2)) {
    return false;
  }
  if (w0 >= 0.0f && w1 >= 0.0f && w2 >= 0.0f &&
      !SomePartMayPaint(job.culls, job.stamp, job.p0 + job.e1 * w1 + job.e2 * w2)) {
    return false;
  }
  const int32_t column = WrapTexel(x, job.columns);
  const int32_t row = WrapTexel(y, job.rows);
  assert(column >= 0 && column < job.columns && row >= 0 && row < job.rows);
  const float jitter = texel_amount::JitterOf(
      TexelJitter(static_cast<uint32_t>(column), static_cast<uint32_t>(row)));
  const uint8_t current = MaskAt(job.layer.mask, column, row);
  // No amount exceeds 1, so no value exceeds the jitter's own: once the triangle counts
  // as painted, a texel already there (the core of a flowing wound) cannot rise.
  if (written && current >= texel_amount::TexelValue(jitter, 1.0f)) return false;

  const WoundStamp& stamp = job.stamp;
  const Vec3 q = texel_amount::TexelPoint(job.p0, job.p1, job.p2, w0, w1, w2);
  const Vec3 rel = texel_amount::FromCentreLine(q, stamp.centre, stamp.axis, stamp.cut);
  const float distSq = Dot(rel, rel);
  TexelNoise noise;
  float amount = 0.0f;
  if (job.culls.blot && !(distSq > job.culls.blotReachSq)) {
    amount = texel_amount::BlotAmount(stamp, q, value_noise::Sqrt(distSq), noise);
  }
  for (int n = 0; n < job.culls.dripCount; ++n) {
    texel_amount::AddDrip(stamp, job.culls.drips[n], q, noise, amount);
  }
  const float final = value_noise::Clamp01(amount);
  if (!(final >= texel_amount::kLeastAmount)) return false;

  const uint8_t value = texel_amount::TexelValue(jitter, final);
  if (value > current) {
    SetMaskAt(job.layer.mask, column, row, value);
    IncludeRect(job.layer.changed, {column, row, column + 1, row + 1});
  }
  return true;
}

}  // namespace

bool PaintTriangleParts(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
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

  const PartCulls culls = CullsOf(stamp, parts, positions);
  const RowClip clip = RowClipOf(culls, stamp, positions);
  const Vec3 p0 = positions[0], p1 = positions[1], p2 = positions[2];
  const RasterJob job{layer, triangle, stamp, culls, p0, p1, p2, p1 - p0, p2 - p0, columns, rows};
  bool written = false;
  for (int32_t y = triangle.beginY; y <= triangle.endY; ++y) {
    int32_t first, last;
    triangle.spans.Solve(y, triangle.beginX, triangle.endX, first, last);
    if (last >= first) visits += static_cast<size_t>(last - first + 1);
    const ColumnSkip skip = SkippedColumns(clip, culls, stamp, triangle.spans, y, first, last);
    for (int32_t x = first; x <= last; ++x) {
      if (x >= skip.lo[0] && x <= skip.hi[0]) x = skip.hi[0] + 1;
      if (x >= skip.lo[1] && x <= skip.hi[1]) x = skip.hi[1] + 1;
      if (x > last) break;
      if (PaintTexelAt(job, x, y, written)) written = true;
    }
  }
  return written;
}

bool PaintTriangle(MaskLayer& layer, int32_t maskSize, const Vec3 positions[3],
                   const TexCoord coordinates[3], const WoundStamp& stamp) {
  size_t visits = 0;
  return PaintTriangleParts(layer, maskSize, positions, coordinates, stamp, ~0u, visits);
}
