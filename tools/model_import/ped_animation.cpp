#include "ped_animation.h"

#include <cmath>

#include "host/sim/sim_math.h"

namespace {

constexpr double kDefaultTicksPerSecond = 25.0;

Quaternion Normalised(Quaternion q) {
  float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  if (!(length > 0.0f)) return {0, 0, 0, 1};
  float k = 1.0f / length;
  return {q.x * k, q.y * k, q.z * k, q.w * k};
}

Quaternion Slerp(Quaternion a, Quaternion b, float t) {
  float cosAngle = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (cosAngle < 0.0f) {  // the shorter way round
    b = {-b.x, -b.y, -b.z, -b.w};
    cosAngle = -cosAngle;
  }
  float ka = 1.0f - t, kb = t;
  if (cosAngle < 0.9995f) {
    float angle = std::acos(cosAngle);
    float s = std::sin(angle);
    ka = std::sin((1.0f - t) * angle) / s;
    kb = std::sin(t * angle) / s;
  }
  return Normalised(
      {a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb, a.w * ka + b.w * kb});
}

// Index of the last key at or before ticks (0 when ticks is before every key) and the
// fraction of the way to the next key.
template <typename Key>
size_t FindKey(const std::vector<Key>& keys, double ticks, float* fraction) {
  size_t k = 0;
  while (k + 1 < keys.size() && keys[k + 1].time <= ticks) ++k;
  *fraction = 0.0f;
  if (k + 1 < keys.size() && ticks > keys[k].time) {
    double span = keys[k + 1].time - keys[k].time;
    if (span > 0.0) *fraction = static_cast<float>((ticks - keys[k].time) / span);
  }
  return k;
}

Vec3 VectorAt(const std::vector<VectorKey>& keys, double ticks, Vec3 rest) {
  if (keys.empty()) return rest;
  float t;
  size_t k = FindKey(keys, ticks, &t);
  if (k + 1 >= keys.size()) return keys[k].value;
  return keys[k].value + (keys[k + 1].value - keys[k].value) * t;
}

Quaternion RotationAt(const std::vector<RotationKey>& keys, double ticks, Quaternion rest) {
  if (keys.empty()) return rest;
  float t;
  size_t k = FindKey(keys, ticks, &t);
  if (k + 1 >= keys.size()) return Normalised(keys[k].value);
  return Slerp(Normalised(keys[k].value), Normalised(keys[k + 1].value), t);
}

}  // namespace

HostMatrix QuaternionMatrix(Quaternion q) {
  q = Normalised(q);
  float x = q.x, y = q.y, z = q.z, w = q.w;
  HostMatrix m = IdentityMatrix();
  // Rows are the images of the unit axes.
  m.m[0][0] = 1 - 2 * (y * y + z * z);
  m.m[0][1] = 2 * (x * y + w * z);
  m.m[0][2] = 2 * (x * z - w * y);
  m.m[1][0] = 2 * (x * y - w * z);
  m.m[1][1] = 1 - 2 * (x * x + z * z);
  m.m[1][2] = 2 * (y * z + w * x);
  m.m[2][0] = 2 * (x * z + w * y);
  m.m[2][1] = 2 * (y * z - w * x);
  m.m[2][2] = 1 - 2 * (x * x + y * y);
  return m;
}

HostMatrix ChannelTransform(const NodeChannel& channel, const NodeRecord& node, double ticks) {
  Vec3 position = VectorAt(channel.positions, ticks, node.restPosition);
  Vec3 scaling = VectorAt(channel.scalings, ticks, node.restScaling);
  Quaternion rotation = RotationAt(channel.rotations, ticks, node.restRotation);
  HostMatrix m = QuaternionMatrix(rotation);
  for (int j = 0; j < 3; ++j) {
    m.m[0][j] *= scaling.x;
    m.m[1][j] *= scaling.y;
    m.m[2][j] *= scaling.z;
  }
  m.m[3][0] = position.x;
  m.m[3][1] = position.y;
  m.m[3][2] = position.z;
  return m;
}

void NodeWorldMatrices(const std::vector<NodeRecord>& nodes, const NodeAnimation* animation,
                       double seconds, std::vector<HostMatrix>& out) {
  out.resize(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) out[i] = nodes[i].rest;
  if (animation) {
    double perSecond =
        animation->ticksPerSecond > 0.0 ? animation->ticksPerSecond : kDefaultTicksPerSecond;
    double ticks = seconds * perSecond;
    if (animation->duration > 0.0) {
      ticks = std::fmod(ticks, animation->duration);
      if (ticks < 0.0) ticks += animation->duration;
    }
    if (!std::isfinite(ticks)) ticks = 0.0;
    for (const NodeChannel& channel : animation->channels) {
      if (channel.node < 0 || static_cast<size_t>(channel.node) >= nodes.size()) continue;
      size_t n = static_cast<size_t>(channel.node);
      out[n] = ChannelTransform(channel, nodes[n], ticks);
    }
  }
  for (size_t i = 0; i < nodes.size(); ++i) {
    int32_t parent = nodes[i].parent;
    // Parents come first, so theirs are world matrices already.
    if (parent >= 0 && static_cast<size_t>(parent) < i) {
      out[i] = Multiply(out[i], out[static_cast<size_t>(parent)]);
    }
  }
}
