// Plain records that cross the host interface: positions, matrices, triangles and the
// opaque handles of host objects. Bulk data is handed out as plain arrays with counts.
#pragma once

#include <cmath>
#include <cstdint>

// Opaque host objects. On the game build these are the game's own addresses; in the
// simulated world they point at the simulator's records. The system never owns them.
struct HostEntity;
struct HostPed;  // a CPed; every ped is also an entity (same address)
struct HostDamage;
struct HostWeapon;
struct HostRenderObject;
struct HostMesh;
struct HostGeometry;
struct HostMaterial;
struct HostTexture;
struct HostSurface;
struct HostSkin;
struct HostHierarchy;
struct HostFrame;

inline HostEntity* AsEntity(HostPed* ped) { return reinterpret_cast<HostEntity*>(ped); }
inline HostPed* AsPed(HostEntity* entity) { return reinterpret_cast<HostPed*>(entity); }

struct Vec3 {
  float x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(float s, Vec3 a) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }

// A host matrix: four rows of four floats; rows 1-3 are the linear part, row 4 the
// translation, the fourth column is ignored. Points are row vectors: p' = p * M.
struct HostMatrix {
  float m[4][4];
};
static_assert(sizeof(HostMatrix) == 64, "host matrices are 64 bytes");

struct TexCoord {
  float u, v;
};

// Characters of a texture's name as the host stores it.
constexpr int kTextureNameLength = 32;

// One triangle of a host geometry: three vertex indices and a material index.
struct HostTriangle {
  uint16_t vertex[3];
  uint16_t material;
};
static_assert(sizeof(HostTriangle) == 8, "host triangles are 8 bytes");

// The fields of a host damage record the system reads.
struct DamageRecord {
  HostEntity* damager;  // +0x0, may be null
  float factor;         // +0x4
  int32_t piece;        // +0x8, a byte widened
  int32_t weapon;       // +0xC
};

// The skin hierarchy of a render object.
struct HierarchyView {
  uint32_t flags;                  // +0x0, bit 0x4000: apply the root object's matrix
  int32_t boneCount;               // +0x4
  const HostMatrix* boneMatrices;  // +0x8, boneCount matrices, may be null
  HostFrame* root;                 // +0x14, may be null
};

// A geometry's arrays, pointing into host memory. Any pointer may be null; counts come
// from the host as they are and may be inconsistent with the arrays' real sizes only
// as far as the host itself is broken (the system checks indices against the counts).
struct GeometryView {
  int32_t vertexCount;       // +0x14
  int32_t triangleCount;     // +0x10
  uint32_t format;           // +0x08
  HostTriangle* triangles;   // +0x2c
  TexCoord* texCoords;       // +0x34, first set
  uint32_t* colours;         // +0x30, one 4-byte colour per vertex
  bool hasVertexData;        // +0x5c non-null
  Vec3* positions;           // vertex data +0x14
  Vec3* normals;             // vertex data +0x18
  float* bounds;             // vertex data +0x04, four floats
  HostMaterial** materials;  // +0x20
  int32_t materialCount;     // +0x24
};

// Per-vertex skinning data of a skin record.
struct SkinView {
  const float* weights;           // four per vertex
  const uint32_t* boneIndices;    // four bytes packed per vertex, index k in bits 8k..8k+7
  const HostMatrix* inverseBind;  // one per bone
};

// The fire routine's six stack arguments; the first is the shooting ped.
struct FireArgs {
  HostPed* shooter;
  uint32_t rest[5];
};

// Places in host code that the system patches.
enum class HookSite { Damage, Fire, Render };
enum class HostEvent { PedRemoval, Frame, FirstReset, SecondReset };
enum class EventOrder { Before, After };

using PedEventCallback = void (*)(HostPed* ped);
using PlainEventCallback = void (*)();
