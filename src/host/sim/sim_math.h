// Matrix helpers for the simulated world, in the host's convention: points are row
// vectors, p' = x*row1 + y*row2 + z*row3 + row4, and Multiply(a, b) applies a first, then
// b. The fourth column is kept at (0, 0, 0, 1) and otherwise ignored.
#pragma once

#include <cmath>

#include "core/float_math.h"
#include "host/host_types.h"

inline HostMatrix IdentityMatrix() {
  HostMatrix m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
  return m;
}

inline HostMatrix TranslationMatrix(Vec3 t) {
  HostMatrix m = IdentityMatrix();
  m.m[3][0] = t.x;
  m.m[3][1] = t.y;
  m.m[3][2] = t.z;
  return m;
}

// Rotation by angle radians about a unit axis, right-handed (counter-clockwise seen from
// the tip of the axis).
inline HostMatrix RotationMatrix(Vec3 axis, float angle) {
  float c = portable::Cosf(angle), s = portable::Sinf(angle), t = 1.0f - c;
  float x = axis.x, y = axis.y, z = axis.z;
  HostMatrix m = IdentityMatrix();
  // Rows are the images of the unit axes.
  m.m[0][0] = t * x * x + c;
  m.m[0][1] = t * x * y + s * z;
  m.m[0][2] = t * x * z - s * y;
  m.m[1][0] = t * x * y - s * z;
  m.m[1][1] = t * y * y + c;
  m.m[1][2] = t * y * z + s * x;
  m.m[2][0] = t * x * z + s * y;
  m.m[2][1] = t * y * z - s * x;
  m.m[2][2] = t * z * z + c;
  return m;
}

// The product that applies a first, then b.
inline HostMatrix Multiply(const HostMatrix& a, const HostMatrix& b) {
  HostMatrix r = IdentityMatrix();
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  for (int j = 0; j < 3; ++j) r.m[3][j] += b.m[3][j];
  return r;
}

inline Vec3 TransformPoint(const HostMatrix& m, Vec3 p) {
  return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
          p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
          p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

// Transforms a direction (no translation).
inline Vec3 TransformVector(const HostMatrix& m, Vec3 v) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

inline Vec3 MatrixTranslation(const HostMatrix& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

// Inverse of an affine matrix; a singular linear part gives the identity.
inline HostMatrix InverseMatrix(const HostMatrix& m) {
  const float(*a)[4] = m.m;
  float c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  float c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
  float c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
  float det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
  if (!(std::fabs(det) > 1e-20f)) return IdentityMatrix();
  float k = 1.0f / det;
  HostMatrix r = IdentityMatrix();
  r.m[0][0] = c00 * k;
  r.m[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * k;
  r.m[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * k;
  r.m[1][0] = c01 * k;
  r.m[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * k;
  r.m[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * k;
  r.m[2][0] = c02 * k;
  r.m[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * k;
  r.m[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * k;
  Vec3 t = TransformVector(r, MatrixTranslation(m));
  r.m[3][0] = -t.x;
  r.m[3][1] = -t.y;
  r.m[3][2] = -t.z;
  return r;
}

// The placement of a thing standing at position and turned by heading radians about z.
inline HostMatrix PlacementMatrix(Vec3 position, float heading) {
  return Multiply(RotationMatrix({0, 0, 1}, heading), TranslationMatrix(position));
}
