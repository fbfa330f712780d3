// The game's own records, as far as the system reads or writes them, in the layout of the
// 32-bit game executable. Padding stands for fields the system never touches. The
// synthetic game of the tests lays its world out in the same records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_types.h"

static_assert(sizeof(void*) == 4, "the game records are laid out for the 32-bit game");

// The ped pool: slots of kPedSlotSize bytes, one flag byte per slot (negative: free).
struct GamePedPool {
  uint8_t* storage;  // +0x0
  int8_t* flags;     // +0x4
  int32_t count;     // +0x8
};
static_assert(sizeof(GamePedPool) == 12 && offsetof(GamePedPool, flags) == 0x4 &&
                  offsetof(GamePedPool, count) == 0x8,
              "ped pool layout");

constexpr uint32_t kPedSlotSize = 0x7C4;

// An entity; a ped is an entity of type 3 and fills a whole pool slot.
struct GamePed {
  uint8_t pad0[0x4];
  Vec3 position;  // +0x4, used when there is no matrix
  uint8_t pad10[0x4];
  HostMatrix* matrix;              // +0x14, translation at +0x30
  HostRenderObject* renderObject;  // +0x18
  uint8_t pad1c[0x6];
  int16_t modelIndex;  // +0x22
  uint8_t pad24[0x12];
  uint8_t type;  // +0x36, low three bits
  uint8_t pad37[0x540 - 0x37];
  float health;  // +0x540
  uint8_t pad544[kPedSlotSize - 0x544];
};
static_assert(sizeof(GamePed) == kPedSlotSize, "a ped fills one pool slot");
static_assert(offsetof(GamePed, position) == 0x4 && offsetof(GamePed, matrix) == 0x14 &&
                  offsetof(GamePed, renderObject) == 0x18 &&
                  offsetof(GamePed, modelIndex) == 0x22 && offsetof(GamePed, type) == 0x36 &&
                  offsetof(GamePed, health) == 0x540,
              "ped layout");
static_assert(offsetof(HostMatrix, m[3][0]) == 0x30, "matrix translation at +0x30");

// The damage record the damage routine runs on.
struct GameDamage {
  HostEntity* damager;  // +0x0
  float factor;         // +0x4
  uint8_t piece;        // +0x8
  uint8_t pad9[0x3];
  int32_t weapon;  // +0xC
};
static_assert(offsetof(GameDamage, factor) == 0x4 && offsetof(GameDamage, piece) == 0x8 &&
                  offsetof(GameDamage, weapon) == 0xC,
              "damage record layout");

// One record of the explosion table.
struct GameExplosion {
  uint8_t pad0[0x4];
  Vec3 position;  // +0x4
  uint8_t pad10[0x29 - 0x10];
  uint8_t active;  // +0x29
  uint8_t pad2a[124 - 0x2A];
};
static_assert(sizeof(GameExplosion) == 124 && offsetof(GameExplosion, position) == 0x4 &&
                  offsetof(GameExplosion, active) == 0x29,
              "explosion record layout");
constexpr int kExplosionRecords = 16;

// A view of the camera: its direction and eye position.
struct GameCameraView {
  uint8_t pad0[0x194];
  Vec3 direction;  // camera +0x304 for view 0
  Vec3 eye;        // camera +0x310 for view 0
  uint8_t pad1ac[0x238 - 0x1AC];
};
static_assert(sizeof(GameCameraView) == 0x238, "view records are 0x238 bytes apart");

constexpr int kCameraViews = 3;

struct GameCamera {
  uint8_t pad0[0x59];
  uint8_t activeView;  // +0x59
  uint8_t pad5a[0x170 - 0x5A];
  GameCameraView views[kCameraViews];  // +0x170
};
static_assert(offsetof(GameCamera, activeView) == 0x59, "camera layout");
static_assert(offsetof(GameCamera, views) + offsetof(GameCameraView, direction) == 0x304 &&
                  offsetof(GameCamera, views) + offsetof(GameCameraView, eye) == 0x310,
              "camera view layout");

// A mesh (atomic) of a render object.
using GameMeshRenderCallback = void (*)(HostMesh* mesh);  // caller removes the argument
struct GameMesh {
  uint8_t pad0[0x18];
  HostGeometry* geometry;  // +0x18
  uint8_t pad1c[0x48 - 0x1C];
  GameMeshRenderCallback render;  // +0x48, may be null
};
static_assert(offsetof(GameMesh, geometry) == 0x18 && offsetof(GameMesh, render) == 0x48,
              "mesh layout");

// The geometry's material list, appended to by the game's material-list append.
struct GameMaterialList {
  HostMaterial** materials;  // +0x20 of the geometry
  int32_t count;             // +0x24
  int32_t capacity;          // +0x28
};

// The vertex data block of a geometry.
struct GameVertexData {
  HostGeometry* parent;  // +0x0
  float bounds[4];       // +0x4
  Vec3* positions;       // +0x14
  Vec3* normals;         // +0x18
};
static_assert(offsetof(GameVertexData, bounds) == 0x4 &&
                  offsetof(GameVertexData, positions) == 0x14 &&
                  offsetof(GameVertexData, normals) == 0x18,
              "vertex data layout");

struct GameGeometry {
  uint8_t pad0[0x8];
  uint32_t format;  // +0x08
  uint8_t padc[0x4];
  int32_t triangleCount;  // +0x10
  int32_t vertexCount;    // +0x14
  uint8_t pad18[0x8];
  GameMaterialList materials;  // +0x20
  HostTriangle* triangles;     // +0x2c
  uint32_t* colours;           // +0x30
  TexCoord* texCoords;         // +0x34
  uint8_t pad38[0x5C - 0x38];
  GameVertexData* vertexData;  // +0x5c
};
static_assert(
    offsetof(GameGeometry, format) == 0x08 && offsetof(GameGeometry, triangleCount) == 0x10 &&
        offsetof(GameGeometry, vertexCount) == 0x14 && offsetof(GameGeometry, materials) == 0x20 &&
        offsetof(GameGeometry, materials) + offsetof(GameMaterialList, count) == 0x24 &&
        offsetof(GameGeometry, triangles) == 0x2C && offsetof(GameGeometry, colours) == 0x30 &&
        offsetof(GameGeometry, texCoords) == 0x34 && offsetof(GameGeometry, vertexData) == 0x5C,
    "geometry layout");

struct GameMaterial {
  HostTexture* texture;  // +0x0
  uint32_t colour;       // +0x4
};
static_assert(offsetof(GameMaterial, colour) == 0x4, "material layout");

struct GameTexture {
  HostSurface* surface;  // +0x0
  uint8_t pad4[0x10 - 0x4];
  char name[kTextureNameLength];  // +0x10, not terminated when all of it is used
  uint8_t pad30[0x50 - 0x10 - kTextureNameLength];
  uint32_t sampling;  // +0x50
};
static_assert(offsetof(GameTexture, name) == 0x10 && offsetof(GameTexture, sampling) == 0x50,
              "texture layout");

struct GameSurface {
  uint8_t pad0[0x18];
  int32_t stride;  // +0x18
};
static_assert(offsetof(GameSurface, stride) == 0x18, "surface layout");

// The skin hierarchy of a render object.
struct GameHierarchy {
  uint32_t flags;            // +0x0
  int32_t boneCount;         // +0x4
  HostMatrix* boneMatrices;  // +0x8
  uint8_t padc[0x8];
  HostFrame* root;  // +0x14
};
static_assert(offsetof(GameHierarchy, boneCount) == 0x4 &&
                  offsetof(GameHierarchy, boneMatrices) == 0x8 &&
                  offsetof(GameHierarchy, root) == 0x14,
              "skin hierarchy layout");
