#include "host/sim/procedural_ped.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "host/game_facts.h"
#include "host/sim/sim_math.h"

namespace gb = game::bone;
const int32_t kProceduralBoneIds[kProceduralBoneCount] = {
    gb::kPelvis,        gb::kSpine,         gb::kUpperTorso,   gb::kNeck,      gb::kHead,
    gb::kRightClavicle, gb::kRightUpperArm, gb::kRightForearm, gb::kRightHand, gb::kLeftClavicle,
    gb::kLeftUpperArm,  gb::kLeftForearm,   gb::kLeftHand,     gb::kLeftThigh, gb::kLeftCalf,
    gb::kLeftFoot,      gb::kRightThigh,    gb::kRightCalf,    gb::kRightFoot};

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int16_t kModelIndex = 7;
constexpr uint32_t kRootFlag = 0x4000;
// Positions, texture coordinates, normals, lit, modulated material colour.
constexpr uint32_t kGeometryFormat = 0x02 | 0x04 | 0x10 | 0x20 | 0x40;
constexpr int32_t kTextureSize = 128;

enum Bone {
  kPelvis,
  kSpine,
  kUpperSpine,
  kNeck,
  kHead,
  kRClavicle,
  kRUpperArm,
  kRForearm,
  kRHand,
  kLClavicle,
  kLUpperArm,
  kLForearm,
  kLHand,
  kLThigh,
  kLCalf,
  kLFoot,
  kRThigh,
  kRCalf,
  kRFoot,
};

constexpr int kParent[kProceduralBoneCount] = {-1, 0,  1,  2, 3,  2,  5, 6,  7, 2,
                                               9,  10, 11, 0, 13, 14, 0, 16, 17};
// The bone on the other side of the body.
constexpr int kMirrorBone[kProceduralBoneCount] = {0, 1, 2, 3,  4,  9,  10, 11, 12, 5,
                                                   6, 7, 8, 16, 17, 18, 13, 14, 15};

// Joints of the centre and left bones (the right ones mirror them), before the floor shift.
constexpr Vec3 kJoint[kProceduralBoneCount] = {
    {0, 0, 0.97f},
    {0, 0, 1.08f},
    {0, 0, 1.26f},
    {0, 0, 1.48f},
    {0, 0.01f, 1.60f},
    {0, 0, 0},
    {0, 0, 0},
    {0, 0, 0},
    {0, 0, 0},
    {-0.04f, 0, 1.43f},
    {-0.20f, 0, 1.41f},
    {-0.24f, 0, 1.12f},
    {-0.27f, 0.02f, 0.86f},
    {-0.10f, 0, 0.92f},
    {-0.11f, 0, 0.50f},
    {-0.11f, 0, 0.09f},
    {0, 0, 0},
    {0, 0, 0},
    {0, 0, 0},
};

bool IsRightBone(int b) { return (b >= kRClavicle && b <= kRHand) || b >= kRThigh; }

// Radii of a part's cross-section at axial parameter s.
struct ProfileKey {
  float s, side, front;
};
// Skinning along a part: between two keys the weight moves from one bone to the next.
struct WeightKey {
  float s;
  int bone;
};
// An extra influence fading out with the distance from a joint.
struct Extra {
  int bone;
  Vec3 centre;
  float radius, strength;
};
struct Rect {
  float u0, v0, u1, v1;
};

constexpr int kBodyGeometry = 0;
constexpr int kHeadGeometry = 1;
constexpr int kSkin = 0;
constexpr int kClothes = 1;

// One piece of the body: a tapered, rounded tube between two poles. Centre parts are built
// as their left half only; every part is then mirrored onto the right side.
struct Part {
  int geometry = kBodyGeometry;
  int material = kSkin;
  Vec3 start{}, end{};
  Vec3 front{0, 1, 0};
  bool half = false;
  int rings = 0, columns = 0;  // rings between the poles; quads around
  float roundness = 0.0f;      // exponent of the cap rounding: small is flatter ends
  int profileCount = 0;
  ProfileKey profile[6] = {};
  int weightCount = 0;
  WeightKey weights[4] = {};
  int extraCount = 0;
  Extra extras[2] = {};
  Rect uv{};

  // Rows of {s, side, front}, by increasing s.
  constexpr void SetProfile(std::initializer_list<ProfileKey> keys) {
    for (const ProfileKey& key : keys) profile[profileCount++] = key;
  }
  // Rows of {s, bone}, by increasing s.
  constexpr void SetWeights(std::initializer_list<WeightKey> keys) {
    for (const WeightKey& key : keys) weights[weightCount++] = key;
  }
  // Rows of {bone, centre, radius, strength}.
  constexpr void SetExtras(std::initializer_list<Extra> list) {
    for (const Extra& extra : list) extras[extraCount++] = extra;
  }
};

// The left and centre parts (the right side mirrors them).
constexpr Part Torso() {
  Part part;
  part.material = kClothes;
  part.start = {0, 0, 0.80f};
  part.end = {0, 0, 1.52f};
  part.half = true;
  part.rings = 12;
  part.columns = 10;
  part.roundness = 0.35f;
  part.SetProfile({{0, 0.15f, 0.11f},
                   {0.25f, 0.17f, 0.12f},
                   {0.45f, 0.145f, 0.11f},
                   {0.7f, 0.175f, 0.125f},
                   {0.9f, 0.19f, 0.11f},
                   {1, 0.16f, 0.09f}});
  part.SetWeights({{0.25f, kPelvis}, {0.40f, kSpine}, {0.52f, kSpine}, {0.68f, kUpperSpine}});
  part.SetExtras(
      {{kLClavicle, {-0.17f, 0, 1.43f}, 0.13f, 0.5f}, {kLThigh, {-0.11f, 0, 0.86f}, 0.12f, 0.5f}});
  part.uv = {0.02f, 0.02f, 0.48f, 0.50f};
  return part;
}

constexpr Part Neck() {
  Part part;
  part.material = kSkin;
  part.start = {0, 0, 1.40f};
  part.end = {0, 0.005f, 1.62f};
  part.half = true;
  part.rings = 5;
  part.columns = 6;
  part.roundness = 0.2f;
  part.SetProfile({{0, 0.06f, 0.06f}});
  part.SetWeights({{0.2f, kUpperSpine}, {0.45f, kNeck}, {0.8f, kNeck}, {1, kHead}});
  part.uv = {0.52f, 0.02f, 0.62f, 0.12f};
  return part;
}

constexpr Part Head() {
  Part part;
  part.geometry = kHeadGeometry;
  part.material = kSkin;
  part.start = {0, 0.01f, 1.555f};
  part.end = {0, 0.01f, 1.805f};
  part.half = true;
  part.rings = 14;
  part.columns = 10;
  part.roundness = 0.5f;
  part.SetProfile(
      {{0, 0.075f, 0.085f}, {0.3f, 0.085f, 0.10f}, {0.6f, 0.09f, 0.105f}, {1, 0.08f, 0.09f}});
  part.SetWeights({{0, kNeck}, {0.2f, kHead}});
  part.uv = {0.05f, 0.05f, 0.95f, 0.95f};
  return part;
}

constexpr Part LeftUpperArm() {
  Part part;
  part.material = kSkin;
  part.start = {-0.185f, 0, 1.47f};
  part.end = {-0.245f, 0, 1.08f};
  part.rings = 8;
  part.columns = 10;
  part.roundness = 0.4f;
  part.SetProfile({{0, 0.055f, 0.055f}, {1, 0.045f, 0.045f}});
  part.SetWeights(
      {{0.05f, kLClavicle}, {0.22f, kLUpperArm}, {0.82f, kLUpperArm}, {0.97f, kLForearm}});
  part.uv = {0.52f, 0.14f, 0.74f, 0.40f};
  return part;
}

constexpr Part LeftForearm() {
  Part part;
  part.material = kSkin;
  part.start = {-0.235f, 0, 1.17f};
  part.end = {-0.275f, 0.02f, 0.84f};
  part.rings = 8;
  part.columns = 10;
  part.roundness = 0.4f;
  part.SetProfile({{0, 0.045f, 0.045f}, {1, 0.035f, 0.035f}});
  part.SetWeights({{0.05f, kLUpperArm}, {0.25f, kLForearm}, {0.85f, kLForearm}, {1, kLHand}});
  part.uv = {0.76f, 0.14f, 0.98f, 0.40f};
  return part;
}

// Left hand: thin across x, broad along y.
constexpr Part LeftHand() {
  Part part;
  part.material = kSkin;
  part.start = {-0.272f, 0.02f, 0.90f};
  part.end = {-0.285f, 0.025f, 0.70f};
  part.rings = 6;
  part.columns = 8;
  part.roundness = 0.4f;
  part.SetProfile({{0, 0.02f, 0.03f}, {0.4f, 0.022f, 0.045f}, {1, 0.018f, 0.035f}});
  part.SetWeights({{0.1f, kLForearm}, {0.3f, kLHand}});
  part.uv = {0.64f, 0.02f, 0.78f, 0.12f};
  return part;
}

constexpr Part LeftThigh() {
  Part part;
  part.material = kClothes;
  part.start = {-0.10f, 0, 0.99f};
  part.end = {-0.11f, 0, 0.46f};
  part.rings = 8;
  part.columns = 12;
  part.roundness = 0.35f;
  part.SetProfile({{0, 0.09f, 0.095f}, {0.5f, 0.075f, 0.08f}, {1, 0.06f, 0.062f}});
  part.SetWeights({{0.05f, kPelvis}, {0.22f, kLThigh}, {0.82f, kLThigh}, {0.98f, kLCalf}});
  part.uv = {0.02f, 0.52f, 0.32f, 0.80f};
  return part;
}

constexpr Part LeftCalf() {
  Part part;
  part.material = kClothes;
  part.start = {-0.11f, 0, 0.55f};
  part.end = {-0.11f, 0, 0.05f};
  part.rings = 8;
  part.columns = 12;
  part.roundness = 0.35f;
  part.SetProfile({{0, 0.058f, 0.06f}, {0.3f, 0.06f, 0.065f}, {1, 0.04f, 0.045f}});
  part.SetWeights({{0.02f, kLThigh}, {0.2f, kLCalf}, {0.85f, kLCalf}, {1, kLFoot}});
  part.uv = {0.34f, 0.52f, 0.64f, 0.80f};
  return part;
}

// Left foot, pointing forward; its front direction is up.
constexpr Part LeftFoot() {
  Part part;
  part.material = kClothes;
  part.start = {-0.11f, -0.07f, 0.045f};
  part.end = {-0.11f, 0.20f, 0.035f};
  part.front = {0, 0, 1};
  part.rings = 6;
  part.columns = 10;
  part.roundness = 0.35f;
  part.SetProfile({{0, 0.045f, 0.05f}, {0.5f, 0.05f, 0.045f}, {1, 0.04f, 0.03f}});
  part.SetWeights({{0.1f, kLCalf}, {0.35f, kLFoot}});
  part.uv = {0.66f, 0.52f, 0.90f, 0.70f};
  return part;
}

constexpr Part kParts[] = {Torso(),    Neck(),      Head(),     LeftUpperArm(), LeftForearm(),
                           LeftHand(), LeftThigh(), LeftCalf(), LeftFoot()};

Vec3 Normalised(Vec3 v) {
  float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : v;
}

Vec3 MirrorX(Vec3 v) { return {-v.x, v.y, v.z}; }

float Smooth(float t) {
  t = std::min(1.0f, std::max(0.0f, t));
  return t * t * (3.0f - 2.0f * t);
}

// Frame of a part: along its axis, and two directions across it with cross(side, front) =
// axis, so rings walked by increasing angle and then along the axis wind outwards.
struct Frame {
  Vec3 axis, side, front;
};

Frame PartFrame(const Part& part) {
  Frame f;
  f.axis = Normalised(part.end - part.start);
  f.front = Normalised(part.front - f.axis * Dot(part.front, f.axis));
  f.side = Cross(f.front, f.axis);
  return f;
}

// Cross-section radii at axial parameter s and their slopes d/ds.
struct Radii {
  float side, front, dSide, dFront;
};

Radii Profile(const Part& part, float s) {
  const ProfileKey* keys = part.profile;
  int n = part.profileCount;
  for (int k = 0; k + 1 < n; ++k) {
    if (s >= keys[k].s && s <= keys[k + 1].s) {
      float span = keys[k + 1].s - keys[k].s;
      float t = (s - keys[k].s) / span;
      float dSide = (keys[k + 1].side - keys[k].side) / span;
      float dFront = (keys[k + 1].front - keys[k].front) / span;
      return {keys[k].side + dSide * span * t, keys[k].front + dFront * span * t, dSide, dFront};
    }
  }
  const ProfileKey& end = s < keys[0].s ? keys[0] : keys[n - 1];
  return {end.side, end.front, 0.0f, 0.0f};
}

// One ring of a part. The surface is P(theta, phi) = centre + a cos(phi) side + b sin(phi)
// front, theta running from 0 (start pole) to pi (end pole) with s = (1 - cos theta) / 2
// along the axis and the radii rounded by sin(theta)^roundness towards the poles.
struct Ring {
  float s;
  Vec3 centre;
  float a, b;    // rounded radii
  Vec3 dCentre;  // d centre / d theta
  float da, db;  // d a / d theta, d b / d theta
  int pole;      // -1 start pole, 1 end pole, 0 between
};

Ring PartRing(const Part& part, int ring) {
  float theta = kPi * static_cast<float>(ring) / static_cast<float>(part.rings + 1);
  float sinTheta = ring == 0 || ring == part.rings + 1 ? 0.0f : portable::Sinf(theta);
  float cosTheta = portable::Cosf(theta);
  Ring r;
  r.s = 0.5f - 0.5f * cosTheta;
  r.pole = ring == 0 ? -1 : ring == part.rings + 1 ? 1 : 0;
  float ds = 0.5f * sinTheta;
  float round = sinTheta > 0.0f ? portable::Powf(sinTheta, part.roundness) : 0.0f;
  float dRound = sinTheta > 0.0f ? part.roundness * round / sinTheta * cosTheta : 0.0f;
  Radii radii = Profile(part, r.s);
  r.centre = part.start + (part.end - part.start) * r.s;
  r.dCentre = (part.end - part.start) * ds;
  r.a = round * radii.side;
  r.b = round * radii.front;
  r.da = dRound * radii.side + round * radii.dSide * ds;
  r.db = dRound * radii.front + round * radii.dFront * ds;
  return r;
}

// Column angles, from the side direction towards the front direction: the whole way round,
// or for centre parts the half with x <= 0 (the left).
constexpr int kMaxColumns = 16;
constexpr bool ColumnsFit() {
  for (const Part& part : kParts) {
    if (part.columns > kMaxColumns) return false;
  }
  return true;
}
static_assert(ColumnsFit(), "column angle tables hold kMaxColumns + 1 angles");
struct Columns {
  std::array<float, kMaxColumns + 1> cos, sin;
};

Columns ColumnAngles(const Part& part) {
  Columns columns{};
  float from = part.half ? 0.5f * kPi : 0.0f;
  float span = part.half ? kPi : 2.0f * kPi;
  for (int c = 0; c <= part.columns && c <= kMaxColumns; ++c) {
    float phi = from + span * static_cast<float>(c) / static_cast<float>(part.columns);
    columns.cos[c] = portable::Cosf(phi);
    columns.sin[c] = portable::Sinf(phi);
  }
  return columns;
}

Vec3 RingPoint(const Frame& f, const Ring& r, float cosPhi, float sinPhi) {
  return r.centre + f.side * (r.a * cosPhi) + f.front * (r.b * sinPhi);
}

// The outward normal: d/dphi x d/dtheta, or the axis at the poles.
Vec3 RingNormal(const Frame& f, const Ring& r, float cosPhi, float sinPhi) {
  if (r.pole != 0) return f.axis * static_cast<float>(r.pole);
  Vec3 alongPhi = f.side * (-r.a * sinPhi) + f.front * (r.b * cosPhi);
  Vec3 alongTheta = r.dCentre + f.side * (r.da * cosPhi) + f.front * (r.db * sinPhi);
  return Normalised(Cross(alongPhi, alongTheta));
}

struct Influences {
  std::array<int, 4> bone{};
  std::array<float, 4> weight{};
};

Influences PartWeights(const Part& part, float s, Vec3 p) {
  std::array<std::pair<int, float>, 6> list{};
  int count = 0;
  auto add = [&](int bone, float w) {
    if (w <= 0.0f) return;
    for (int i = 0; i < count; ++i) {
      if (list[i].first == bone) {
        list[i].second += w;
        return;
      }
    }
    list[count++] = {bone, w};
  };
  const WeightKey* keys = part.weights;
  int n = part.weightCount;
  if (s <= keys[0].s) {
    add(keys[0].bone, 1.0f);
  } else if (s >= keys[n - 1].s) {
    add(keys[n - 1].bone, 1.0f);
  } else {
    for (int k = 0; k + 1 < n; ++k) {
      if (s <= keys[k + 1].s) {
        float t = Smooth((s - keys[k].s) / (keys[k + 1].s - keys[k].s));
        add(keys[k].bone, 1.0f - t);
        add(keys[k + 1].bone, t);
        break;
      }
    }
  }
  float extraTotal = 0.0f;
  std::array<float, 2> extra{};
  for (int e = 0; e < part.extraCount; ++e) {
    float d = Length(p - part.extras[e].centre) / part.extras[e].radius;
    extra[e] = d < 1.0f ? part.extras[e].strength * (1.0f - d) * (1.0f - d) : 0.0f;
    extraTotal += extra[e];
  }
  for (int i = 0; i < count; ++i) list[i].second *= 1.0f - extraTotal;
  for (int e = 0; e < part.extraCount; ++e) add(part.extras[e].bone, extra[e]);

  // Heaviest first (insertion sort: std::sort trips a false bounds warning on tiny arrays).
  for (int i = 1; i < count; ++i) {
    for (int k = i; k > 0 && list[k].second > list[k - 1].second; --k) {
      std::swap(list[k], list[k - 1]);
    }
  }
  count = std::min(count, 4);
  float total = 0.0f;
  for (int i = 0; i < count; ++i) total += list[i].second;
  Influences out;
  for (int i = 0; i < count; ++i) {
    out.bone[i] = list[i].first;
    out.weight[i] = list[i].second / total;
  }
  return out;
}

// The skeleton in model space: joints after lifting the soles onto z = 0, and the height
// by which the lying pose lifts the body so that its back rests on z = 0.
struct Skeleton {
  std::array<Vec3, kProceduralBoneCount> joint;
  float floorShift;
  float lyingLift;
};

Skeleton BuildSkeleton() {
  float minZ = 0.0f, minY = 0.0f;
  bool first = true;
  for (const Part& part : kParts) {
    Frame f = PartFrame(part);
    Columns angles = ColumnAngles(part);
    for (int ring = 0; ring <= part.rings + 1; ++ring) {
      Ring r = PartRing(part, ring);
      for (int column = 0; column <= part.columns; ++column) {
        Vec3 p = RingPoint(f, r, angles.cos[column], angles.sin[column]);
        minZ = first ? p.z : std::min(minZ, p.z);
        minY = first ? p.y : std::min(minY, p.y);
        first = false;
      }
    }
  }
  Skeleton skeleton;
  skeleton.floorShift = -minZ;
  skeleton.lyingLift = -minY;
  for (int b = 0; b < kProceduralBoneCount; ++b) {
    Vec3 joint = IsRightBone(b) ? MirrorX(kJoint[kMirrorBone[b]]) : kJoint[b];
    skeleton.joint[b] = joint + Vec3{0, 0, skeleton.floorShift};
  }
  return skeleton;
}

struct GeometryBuild {
  std::vector<Vec3> positions, normals;
  std::vector<TexCoord> uvs;
  std::vector<HostTriangle> triangles;
  std::vector<float> weights;
  std::vector<uint32_t> indices;
};

void AddPart(const Part& part, float floorShift, bool mirrored, GeometryBuild& g) {
  Frame f = PartFrame(part);
  const size_t base = g.positions.size();
  const int columns = part.columns + 1;
  Columns angles = ColumnAngles(part);
  for (int ring = 0; ring <= part.rings + 1; ++ring) {
    Ring r = PartRing(part, ring);
    float v = part.uv.v0 + (part.uv.v1 - part.uv.v0) * static_cast<float>(ring) /
                               static_cast<float>(part.rings + 1);
    for (int column = 0; column < columns; ++column) {
      float cosPhi = angles.cos[column], sinPhi = angles.sin[column];
      Vec3 p = RingPoint(f, r, cosPhi, sinPhi);
      Vec3 n = RingNormal(f, r, cosPhi, sinPhi);
      Influences w = PartWeights(part, r.s, p);
      p.z += floorShift;
      if (mirrored) {
        p = MirrorX(p);
        n = MirrorX(n);
      }
      g.positions.push_back(p);
      g.normals.push_back(n);
      float u = part.uv.u0 + (part.uv.u1 - part.uv.u0) * static_cast<float>(column) /
                                 static_cast<float>(part.columns);
      g.uvs.push_back({u, v});
      uint32_t packed = 0;
      for (int k = 0; k < 4; ++k) {
        int bone = mirrored ? kMirrorBone[w.bone[k]] : w.bone[k];
        packed |= static_cast<uint32_t>(bone) << (8 * k);
        g.weights.push_back(w.weight[k]);
      }
      g.indices.push_back(packed);
    }
  }
  auto index = [&](int ring, int column) {
    return static_cast<uint16_t>(base + static_cast<size_t>(ring * columns + column));
  };
  auto triangle = [&](uint16_t a, uint16_t b, uint16_t c) {
    // A mirror turns the winding over; swapping two corners turns it back outwards.
    if (mirrored) std::swap(b, c);
    g.triangles.push_back({{a, b, c}, static_cast<uint16_t>(part.material)});
  };
  for (int ring = 0; ring <= part.rings; ++ring) {
    for (int column = 0; column < part.columns; ++column) {
      uint16_t a = index(ring, column), b = index(ring, column + 1);
      uint16_t c = index(ring + 1, column + 1), d = index(ring + 1, column);
      if (ring > 0) triangle(a, b, c);           // at the start pole a and b coincide
      if (ring < part.rings) triangle(a, c, d);  // at the end pole c and d coincide
    }
  }
}

void FillGeometry(int which, const Skeleton& skeleton, HostGeometry* geometry, HostSkin* skin,
                  const std::vector<HostMaterial*>& materials) {
  GeometryBuild g;
  size_t vertices = 0, triangles = 0;
  for (const Part& part : kParts) {
    if (part.geometry != which) continue;
    vertices += 2 * static_cast<size_t>((part.rings + 2) * (part.columns + 1));
    triangles += 2 * static_cast<size_t>(2 * part.rings * part.columns);
  }
  g.positions.reserve(vertices);
  g.normals.reserve(vertices);
  g.uvs.reserve(vertices);
  g.weights.reserve(4 * vertices);
  g.indices.reserve(vertices);
  g.triangles.reserve(triangles);
  for (bool mirrored : {false, true}) {
    for (const Part& part : kParts) {
      if (part.geometry == which) AddPart(part, skeleton.floorShift, mirrored, g);
    }
  }
  SimGeometry* sg = SimHost::Sim(geometry);
  sg->vertexCount = static_cast<int32_t>(g.positions.size());
  sg->triangleCount = static_cast<int32_t>(g.triangles.size());
  sg->format = kGeometryFormat;
  sg->positions = std::move(g.positions);
  SetBoundsFromPositions(*sg);
  sg->normals = std::move(g.normals);
  sg->texCoords = std::move(g.uvs);
  sg->triangles = std::move(g.triangles);
  sg->materials = materials;
  sg->skin = skin;
  sg->finished = true;

  SimSkin* ss = SimHost::Sim(skin);
  ss->weights = std::move(g.weights);
  ss->boneIndices = std::move(g.indices);
  ss->inverseBind.resize(kProceduralBoneCount);
  for (int b = 0; b < kProceduralBoneCount; ++b) {
    ss->inverseBind[static_cast<size_t>(b)] = TranslationMatrix(skeleton.joint[b] * -1.0f);
  }
}

struct Rotation {
  int bone;
  Vec3 axis;
  float degrees;
};

// Joint rotations of a pose, for the left and centre bones; the right side mirrors them.
std::vector<Rotation> PoseRotations(PedPose pose) {
  switch (pose) {
    case PedPose::ArmsRaised:
      return {{kLClavicle, {0, 1, 0}, 20.0f},
              {kLUpperArm, {0, 1, 0}, 140.0f},
              {kLForearm, {1, 0, 0}, 15.0f}};
    case PedPose::Lying:
      // Spread arms and legs turn about the front axis, so the body stays as flat as it is
      // deep when it lies on its back.
      return {{kLUpperArm, {0, 1, 0}, 45.0f}, {kLThigh, {0, 1, 0}, 8.0f}};
    case PedPose::Standing:
      break;
  }
  return {};
}

HostMatrix PoseRotation(const std::vector<Rotation>& rotations, int bone) {
  bool right = IsRightBone(bone);
  int left = right ? kMirrorBone[bone] : bone;
  for (const Rotation& r : rotations) {
    if (r.bone != left) continue;
    float angle = r.degrees * kPi / 180.0f;
    // A mirrored rotation turns the other way about the mirrored axis.
    return right ? RotationMatrix(MirrorX(r.axis), -angle) : RotationMatrix(r.axis, angle);
  }
  return IdentityMatrix();
}

// Bone matrices in model space for a pose, including the lying pose's turn onto the back.
std::array<HostMatrix, kProceduralBoneCount> ModelBoneMatrices(const Skeleton& skeleton,
                                                               PedPose pose) {
  HostMatrix body = IdentityMatrix();
  if (pose == PedPose::Lying) {
    // Pelvis over the origin, turned about x so that the front faces up (+y to +z, head
    // towards -y), lifted until the back touches the ground.
    body = Multiply(TranslationMatrix({0, 0, -skeleton.joint[kPelvis].z}),
                    Multiply(RotationMatrix({1, 0, 0}, 0.5f * kPi),
                             TranslationMatrix({0, 0, skeleton.lyingLift})));
  }
  std::vector<Rotation> rotations = PoseRotations(pose);
  std::array<HostMatrix, kProceduralBoneCount> world;
  for (int b = 0; b < kProceduralBoneCount; ++b) {  // parents come before their children
    int parent = kParent[b];
    Vec3 offset = parent < 0 ? skeleton.joint[b] : skeleton.joint[b] - skeleton.joint[parent];
    HostMatrix local = Multiply(PoseRotation(rotations, b), TranslationMatrix(offset));
    world[b] = Multiply(local, parent < 0 ? body : world[parent]);
  }
  return world;
}

HostPed* AddPedEntity(SimHost& sim, HostRenderObject* object, const PedPlacement& placement) {
  HostPed* ped = sim.AddPed(placement.position, object);
  SimEntity* entity = SimHost::Sim(ped);
  entity->model = kModelIndex;
  return ped;
}

ProceduralPed AddRigged(SimHost& sim, HostGeometry* bodyGeometry, HostGeometry* headGeometry,
                        HostSkin* bodySkin, HostSkin* headSkin, const PedPlacement& placement) {
  ProceduralPed out;
  out.hierarchy = sim.AddHierarchy();
  SimHierarchy* h = SimHost::Sim(out.hierarchy);
  h->boneCount = kProceduralBoneCount;
  h->boneIds.assign(kProceduralBoneIds, kProceduralBoneIds + kProceduralBoneCount);
  h->boneMatrices.assign(kProceduralBoneCount, IdentityMatrix());
  out.rootFrame = sim.AddFrame();
  out.object = sim.AddRenderObject(out.hierarchy);
  out.bodyGeometry = bodyGeometry;
  out.headGeometry = headGeometry;
  out.bodySkin = bodySkin;
  out.headSkin = headSkin;
  out.body = sim.AddMesh(out.object, bodyGeometry);
  out.head = sim.AddMesh(out.object, headGeometry);
  out.ped = AddPedEntity(sim, out.object, placement);
  PoseProceduralPed(sim, out, placement);
  return out;
}

}  // namespace

ProceduralPed AddProceduralPed(SimHost& sim, const PedPlacement& placement) {
  Skeleton skeleton = BuildSkeleton();
  HostMaterial* skinMaterial =
      sim.AddMaterial(sim.AddTexture(kTextureSize, kTextureSize, kSkinTextureName));
  HostMaterial* clothes =
      sim.AddMaterial(sim.AddTexture(kTextureSize, kTextureSize, kClothesTextureName));
  HostMaterial* face =
      sim.AddMaterial(sim.AddTexture(kTextureSize, kTextureSize, kFaceTextureName));
  HostGeometry* bodyGeometry = sim.AddGeometry();
  HostGeometry* headGeometry = sim.AddGeometry();
  HostSkin* bodySkin = sim.AddSkin();
  HostSkin* headSkin = sim.AddSkin();
  FillGeometry(kBodyGeometry, skeleton, bodyGeometry, bodySkin, {skinMaterial, clothes});
  FillGeometry(kHeadGeometry, skeleton, headGeometry, headSkin, {face});
  return AddRigged(sim, bodyGeometry, headGeometry, bodySkin, headSkin, placement);
}

ProceduralPed AddProceduralPedLike(SimHost& sim, const ProceduralPed& model,
                                   const PedPlacement& placement) {
  return AddRigged(sim, model.bodyGeometry, model.headGeometry, model.bodySkin, model.headSkin,
                   placement);
}

void PoseProceduralPed(SimHost& /*sim*/, const ProceduralPed& ped, const PedPlacement& placement) {
  if (!ped.hierarchy) return;
  Skeleton skeleton = BuildSkeleton();
  std::array<HostMatrix, kProceduralBoneCount> model = ModelBoneMatrices(skeleton, placement.pose);
  HostMatrix place = PlacementMatrix(placement.position, placement.heading);

  SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  h->boneCount = kProceduralBoneCount;
  h->boneIds.assign(kProceduralBoneIds, kProceduralBoneIds + kProceduralBoneCount);
  h->boneMatrices.resize(kProceduralBoneCount);
  bool root = placement.rootMatrix && ped.rootFrame;
  h->flags = root ? (h->flags | kRootFlag) : (h->flags & ~kRootFlag);
  h->root = root ? ped.rootFrame : nullptr;
  if (ped.rootFrame) ped.rootFrame->matrix = place;

  std::vector<std::pair<int32_t, Vec3>> queryBones;
  for (int b = 0; b < kProceduralBoneCount; ++b) {
    HostMatrix world = Multiply(model[b], place);
    h->boneMatrices[static_cast<size_t>(b)] = root ? model[b] : world;
    queryBones.push_back({kProceduralBoneIds[b], MatrixTranslation(world)});
  }

  if (!ped.ped) return;
  SimEntity* entity = SimHost::Sim(ped.ped);
  entity->position = placement.position;
  entity->hasMatrix = true;
  entity->matrix = place;
  entity->model = kModelIndex;
  entity->queryBones = std::move(queryBones);
  if (placement.pose == PedPose::Lying) entity->health = 0.0f;
}

Vec3 ProceduralBonePosition(SimHost& sim, const ProceduralPed& ped, int32_t boneId) {
  Vec3 fallback = ped.ped ? sim.EntityPosition(AsEntity(ped.ped)) : Vec3{0, 0, 0};
  if (!ped.hierarchy) return fallback;
  const SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  int32_t index = sim.BoneIndex(ped.hierarchy, boneId);
  if (index < 0 || static_cast<size_t>(index) >= h->boneMatrices.size()) return fallback;
  Vec3 p = MatrixTranslation(h->boneMatrices[static_cast<size_t>(index)]);
  if ((h->flags & kRootFlag) && h->root) p = TransformPoint(h->root->matrix, p);
  return p;
}
