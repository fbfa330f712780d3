// The node tree and node animations of an imported model, as plain records, and their
// evaluation into world matrices at a time. Matrices follow the host's row-vector
// convention (host/sim/sim_math.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_types.h"

struct Quaternion {
  float x, y, z, w;
};

// A node of the model's tree; parents come before their children.
struct NodeRecord {
  std::string name;
  int32_t parent;   // -1 for the root
  HostMatrix rest;  // local transform relative to the parent
  Vec3 restPosition, restScaling;
  Quaternion restRotation;
};

struct VectorKey {
  double time;  // ticks
  Vec3 value;
};

struct RotationKey {
  double time;  // ticks
  Quaternion value;
};

// Keys of one node; a missing kind of key keeps the node's rest value.
struct NodeChannel {
  int32_t node;
  std::vector<VectorKey> positions;
  std::vector<RotationKey> rotations;
  std::vector<VectorKey> scalings;
};

struct NodeAnimation {
  std::string name;
  double duration;        // ticks
  double ticksPerSecond;  // 0: the common default of 25
  std::vector<NodeChannel> channels;
};

// Row-vector rotation matrix of a (not necessarily unit) quaternion.
HostMatrix QuaternionMatrix(Quaternion q);

// Local transform of a channel's node at ticks: scale, then rotate, then translate; keys
// interpolated linearly (rotations spherically) and held before the first and after the
// last key.
HostMatrix ChannelTransform(const NodeChannel& channel, const NodeRecord& node, double ticks);

// World matrices of every node (out resized to the node count) at seconds into the
// animation, which loops over its duration; a null animation gives the rest pose.
// Channels naming no node are ignored.
void NodeWorldMatrices(const std::vector<NodeRecord>& nodes, const NodeAnimation* animation,
                       double seconds, std::vector<HostMatrix>& out);
