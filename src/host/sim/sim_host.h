// SimHost: a small simulated game world behind HostGame, for tests, benchmarks and the
// offline preview. Its records are plain structs with public fields a test can set up or
// break on purpose; the handles the system sees are pointers to these records.
//
// The "game" side of SimHost (Game* calls) plays what the real game does: it calls its
// routines, which reach the system's thunks when they are hooked, and it passes its call
// sites, which run the subscribed event callbacks around the original call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/game_facts.h"
#include "host/host_game.h"

struct SimFrame {
  HostMatrix matrix;
};

struct SimHierarchy {
  uint32_t flags = 0;
  int32_t boneCount = 0;                 // as the host reports it
  std::vector<int32_t> boneIds;          // game bone number of each index
  std::vector<HostMatrix> boneMatrices;  // empty: the host has no matrix array
  SimFrame* root = nullptr;
};

struct SimSkin {
  std::vector<float> weights;         // four per vertex
  std::vector<uint32_t> boneIndices;  // one packed word per vertex
  std::vector<HostMatrix> inverseBind;
};

struct SimSurface {
  int32_t width = 0, height = 0, depth = 0;
  uint32_t flags = 0;
  int32_t stride = 0;
  std::vector<uint8_t> pixels;
  bool locked = false;
  int destroyCount = 0;
};

struct SimTexture {
  SimSurface* surface = nullptr;  // owned by the texture
  std::string name;               // as the host stores it: only the first 32 characters count
  uint32_t sampling = 0;
  int releaseCount = 0;
};

struct SimMaterial {
  HostTexture* texture = nullptr;
  uint32_t colour = 0xFFFFFFFF;
};

// A geometry laid out as the game's. An empty array stands for a missing one.
struct SimGeometry {
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  uint32_t format = 0;
  std::vector<HostTriangle> triangles;
  std::vector<TexCoord> texCoords;
  std::vector<uint32_t> colours;
  bool hasVertexData = true;
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  float bounds[4] = {};
  std::vector<HostMaterial*> materials;
  // Set: the material count the host reports in place of the array's size (a broken host;
  // a count beyond a non-empty array cannot be told from a good one by any reader).
  std::optional<int32_t> reportedMaterialCount;
  HostSkin* skin = nullptr;
  bool finished = false;
  bool destroyed = false;  // by DestroyGeometry: its arrays are freed
};

// Sets g's bounds to the sphere the game keeps for a geometry: centred on the box around
// its positions, reaching the farthest one (all zero without positions).
void SetBoundsFromPositions(SimGeometry& g);

// One draw made through a mesh's render callback.
struct SimDraw {
  HostMesh* mesh;
  HostGeometry* geometry;              // bound at the moment of the draw
  std::vector<HostTexture*> textures;  // per material of that geometry
  std::vector<uint32_t> colours;       // per material
};

struct SimMesh {
  HostGeometry* geometry = nullptr;
  bool hasRenderCallback = true;
};

struct SimRenderObject {
  std::vector<HostMesh*> meshes;
  HostHierarchy* hierarchy = nullptr;
};

// Any entity; peds have type 3.
struct SimEntity {
  uint8_t type = game::kPedEntity;
  Vec3 position{0, 0, 0};  // +0x4, used when there is no matrix
  bool hasMatrix = false;
  HostMatrix matrix{};  // translation in row 4
  HostRenderObject* renderObject = nullptr;
  int16_t model = 0;
  float health = 100.0f;
  // Answers of the host's own bone-position query, by bone number (others: position).
  std::vector<std::pair<int32_t, Vec3>> queryBones;
};

struct SimDamage {
  HostEntity* damager = nullptr;
  float factor = 0.0f;
  uint8_t piece = 0;
  int32_t weapon = 0;
};

struct SimWeapon {
  int32_t code = 0;
};

struct SimBlocker {  // a sphere that blocks clear-line tests
  Vec3 centre;
  float radius;
};

class SimHost : public HostGame {
 public:
  SimHost();
  ~SimHost() override;

  // --- World state a test sets directly.
  int version = game::kVersionOriginal;
  uint32_t clock = 0;
  HostPed* player = nullptr;
  std::vector<HostPed*> pool;                // slots; null is a free slot
  std::optional<int32_t> reportedSlotCount;  // the pool's count as stored; unset: pool.size()
  std::array<bool, kExplosionSlots> explosionActive{};
  std::array<Vec3, kExplosionSlots> explosionPosition{};
  // Aim: the query returns aimOrigin (or the shooter's origin + aimOffset when
  // aimFromShooter) and that point + range * aimDirection.
  bool aimFromShooter = true;
  Vec3 aimOrigin{0, 0, 0};
  Vec3 aimOffset{0, 0, 0.6f};
  Vec3 aimDirection{0, 1, 0};
  Vec3 viewEye{0, 0, 0};
  Vec3 viewDirection{0, 1, 0};
  std::vector<SimBlocker> blockers;
  // The fire routine's result when the game fires.
  uint8_t fireResult = 1;
  // Failure switches.
  std::array<bool, 3> failHook{};  // by HookSite
  bool failCreateGeometry = false;
  bool failCreateSurface = false;
  bool failCreateTexture = false;
  bool failLock = false;
  // What the game saw.
  std::array<bool, 3> hooked{};        // by HookSite
  std::array<bool, 4> eventPatched{};  // by HostEvent: call sites redirected
  bool headPatched = false;
  int damageRoutineCalls = 0;
  int fireRoutineCalls = 0;
  int renderRoutineCalls = 0;
  std::vector<SimDraw> draws;   // every render-callback draw, base and blood pass
  int surfacesMade = 0;         // CreateSurface successes
  int surfacesDestroyed = 0;    // DestroySurface calls
  int geometriesMade = 0;       // CreateGeometry successes
  int geometriesDestroyed = 0;  // DestroyGeometry calls
  // Of those, geometries that still had a skin record, which the game frees with them.
  int skinnedGeometriesDestroyed = 0;

  // --- Building the world.
  SimEntity* AddEntity(uint8_t type = game::kPedEntity);
  HostPed* AddPed(Vec3 position, HostRenderObject* renderObject = nullptr);  // joins the pool
  HostRenderObject* AddRenderObject(HostHierarchy* hierarchy);
  HostMesh* AddMesh(HostRenderObject* object, HostGeometry* geometry);
  HostGeometry* AddGeometry();  // an empty geometry to fill
  HostMaterial* AddMaterial(HostTexture* texture = nullptr, uint32_t colour = 0xFFFFFFFF);
  // A game texture, not the system's.
  HostTexture* AddTexture(int32_t width, int32_t height, const std::string& name = "");
  HostSkin* AddSkin();
  HostHierarchy* AddHierarchy();
  SimFrame* AddFrame();
  HostDamage* AddDamage(HostEntity* damager, float factor, uint8_t piece, int32_t weapon);
  HostWeapon* AddWeapon(int32_t code);

  // Typed access to the records behind the handles.
  static SimEntity* Sim(HostPed* p) { return reinterpret_cast<SimEntity*>(p); }
  static SimEntity* Sim(HostEntity* p) { return reinterpret_cast<SimEntity*>(p); }
  static SimRenderObject* Sim(HostRenderObject* p) { return reinterpret_cast<SimRenderObject*>(p); }
  static SimMesh* Sim(HostMesh* p) { return reinterpret_cast<SimMesh*>(p); }
  static SimGeometry* Sim(HostGeometry* p) { return reinterpret_cast<SimGeometry*>(p); }
  static SimMaterial* Sim(HostMaterial* p) { return reinterpret_cast<SimMaterial*>(p); }
  static SimTexture* Sim(HostTexture* p) { return reinterpret_cast<SimTexture*>(p); }
  static SimSurface* Sim(HostSurface* p) { return reinterpret_cast<SimSurface*>(p); }
  static SimSkin* Sim(HostSkin* p) { return reinterpret_cast<SimSkin*>(p); }
  static SimHierarchy* Sim(HostHierarchy* p) { return reinterpret_cast<SimHierarchy*>(p); }
  static SimDamage* Sim(HostDamage* p) { return reinterpret_cast<SimDamage*>(p); }
  static SimWeapon* Sim(HostWeapon* p) { return reinterpret_cast<SimWeapon*>(p); }

  // Points the aim and the view from the player's position at target.
  void AimAt(Vec3 target);

  // --- Textures the system made (through CreateTexture): counts for leak tests.
  int TexturesCreated() const { return texturesCreated_; }
  int TexturesReleased() const;       // release calls on system-made textures
  int TexturesReleasedTwice() const;  // system-made textures released more than once
  int TexturesLive() const;           // system-made textures not released

  // --- The game's side: what the running game does.
  void GameDamage(HostDamage* record, HostEntity* entity, uint32_t arg1 = 0, uint32_t arg2 = 0);
  uint8_t GameFire(HostWeapon* weapon, HostPed* shooter);
  void GameRenderPed(HostPed* ped);
  void GameRemovePed(HostPed* ped);  // ped-removal call site; frees its pool slot
  void GameFrame();                  // frame call site
  void GameReset(HostEvent which);   // FirstReset or SecondReset call site
  // Advances the clock in steps of frameMs, passing the frame call site after each step.
  void RunFor(uint32_t ms, uint32_t frameMs = 33);

  // --- HostGame.
  int GameVersion() override;
  uint32_t ClockMs() override;
  HostPed* FindPlayerPed() override;
  int32_t PedPoolSlotCount() override;
  HostPed* PedPoolSlot(int32_t i) override;
  uint8_t EntityType(HostEntity* entity) override;
  Vec3 EntityPosition(HostEntity* entity) override;
  float PedHealth(HostPed* ped) override;
  HostRenderObject* PedRenderObject(HostPed* ped) override;
  int16_t PedModelIndex(HostPed* ped) override;
  Vec3 PedBonePosition(HostPed* ped, int32_t boneId) override;
  DamageRecord ReadDamageRecord(HostDamage* record) override;
  int32_t WeaponCode(HostWeapon* weapon) override;
  bool ExplosionAt(int i, Vec3* position) override;
  void AimTargetQuery(float range, Vec3 origin, Vec3* aimStart, Vec3* aimEnd) override;
  void ActiveView(Vec3* eye, Vec3* direction) override;
  bool IsLineClear(Vec3 start, Vec3 end) override;
  HostHierarchy* SkinHierarchy(HostRenderObject* object) override;
  HierarchyView GetHierarchy(HostHierarchy* hierarchy) override;
  int32_t BoneIndex(HostHierarchy* hierarchy, int32_t boneId) override;
  const HostMatrix* FrameMatrix(HostFrame* frame) override;
  void ForEachMesh(HostRenderObject* object, MeshCallback callback, void* user) override;
  HostGeometry* MeshGeometry(HostMesh* mesh) override;
  void SetMeshGeometry(HostMesh* mesh, HostGeometry* geometry) override;
  bool MeshHasRenderCallback(HostMesh* mesh) override;
  void CallMeshRenderCallback(HostMesh* mesh) override;
  GeometryView GetGeometry(HostGeometry* geometry) override;
  HostGeometry* CreateGeometry(int32_t vertices, int32_t triangles, uint32_t format) override;
  void AppendMaterial(HostGeometry* geometry, HostMaterial* material) override;
  void FinishGeometry(HostGeometry* geometry) override;
  void DestroyGeometry(HostGeometry* geometry) override;
  HostSkin* GeometrySkin(HostGeometry* geometry) override;
  void SetGeometrySkin(HostGeometry* geometry, HostSkin* skin) override;
  SkinView GetSkin(HostSkin* skin) override;
  HostTexture* MaterialTexture(HostMaterial* material) override;
  void SetMaterialTexture(HostMaterial* material, HostTexture* texture) override;
  uint32_t MaterialColour(HostMaterial* material) override;
  void SetMaterialColour(HostMaterial* material, uint32_t colour) override;
  void TextureName(HostTexture* texture, char (&name)[kTextureNameLength + 1]) override;
  HostSurface* CreateSurface(int32_t width, int32_t height, int32_t depth, uint32_t flags) override;
  void DestroySurface(HostSurface* surface) override;
  uint8_t* LockSurface(HostSurface* surface, int32_t level, int32_t mode) override;
  void UnlockSurface(HostSurface* surface) override;
  int32_t SurfaceStride(HostSurface* surface) override;
  HostTexture* CreateTexture(HostSurface* surface) override;
  void ReleaseTexture(HostTexture* texture) override;
  HostSurface* TextureSurface(HostTexture* texture) override;
  void SetTextureSampling(HostTexture* texture, uint32_t word) override;
  std::unique_ptr<HostHook> PlaceInlineHook(HookSite site, const HookHandlers& handlers) override;
  void CallDamageTrampoline(HostDamage* record, HostEntity* entity, uint32_t arg1,
                            uint32_t arg2) override;
  uint8_t CallFireTrampoline(HostWeapon* weapon, const FireArgs& args) override;
  void CallRenderTrampoline(HostPed* ped) override;
  std::unique_ptr<HostPatch> SubscribePedRemoval(EventOrder order, PedEventCallback callback,
                                                 int32_t id) override;
  std::unique_ptr<HostPatch> Subscribe(HostEvent event, EventOrder order,
                                       PlainEventCallback callback, int32_t id) override;
  void KeepHeadsOnHeadshots() override;

  // Event lists as the game's call sites hold them (for tests of the subscription rules).
  struct EventEntry {
    PedEventCallback ped;
    PlainEventCallback plain;
    int32_t id;
  };
  struct EventLists {
    std::vector<EventEntry> before, after;
    int subscriptions = 0;  // live subscription objects
  };
  std::array<EventLists, 4> events;

 private:
  HookHandlers handlers_{};  // given with the hooks
  class Hook;
  class Subscription;
  std::unique_ptr<HostPatch> AddSubscription(HostEvent event, EventOrder order, EventEntry entry);
  void RunEvent(HostEvent event, HostPed* ped, const std::function<void()>& original);
  void DrawMeshes(HostPed* ped);

  std::vector<std::unique_ptr<SimEntity>> entities_;
  std::vector<std::unique_ptr<SimRenderObject>> renderObjects_;
  std::vector<std::unique_ptr<SimMesh>> meshes_;
  std::vector<std::unique_ptr<SimGeometry>> geometries_;
  std::vector<std::unique_ptr<SimMaterial>> materials_;
  std::vector<std::unique_ptr<SimTexture>> textures_;
  std::vector<SimTexture*> systemTextures_;
  std::vector<std::unique_ptr<SimSurface>> surfaces_;
  std::vector<std::unique_ptr<SimSkin>> skins_;
  std::vector<std::unique_ptr<SimHierarchy>> hierarchies_;
  std::vector<std::unique_ptr<SimFrame>> frames_;
  std::vector<std::unique_ptr<SimDamage>> damages_;
  std::vector<std::unique_ptr<SimWeapon>> weapons_;
  int texturesCreated_ = 0;
};
