#include "host/game/game_host.h"
#include "host/game_facts.h"

#include <cstring>
#include <utility>

#include "core/log.h"
#include "hooking/call_site.h"
#include "hooking/inline_hook.h"
#include "hooking/thread_hold.h"
#include "host/game/game_addresses.h"
#include "host/game/game_layout.h"
#include "host/game/game_patches.h"
#include "host/game/game_thunks.h"

namespace {

namespace ga = game_address;

template <typename T>
T* At(uintptr_t address) {
  return reinterpret_cast<T*>(address);
}
template <typename T, typename Handle>
T* As(Handle* handle) {
  return reinterpret_cast<T*>(handle);
}
template <typename Fn>
Fn Routine(uintptr_t address) {
  return reinterpret_cast<Fn>(address);
}

// The game's routines. Plain routines are caller-cleans calls; member routines take their
// object in ECX and remove their stack arguments. Byte-sized flags travel in 4-byte slots.
using FindPlayerPedFn = HostPed* (*)(int32_t);
using AimTargetQueryFn = void(VT_THISCALL*)(void* camera, float range, float x, float y, float z,
                                            Vec3* aimStart, Vec3* aimEnd);
using IsLineClearFn = uint8_t (*)(const Vec3* start, const Vec3* end, uint32_t, uint32_t, uint32_t,
                                  uint32_t, uint32_t, uint32_t, uint32_t);
using SkinHierarchyFn = HostHierarchy* (*)(HostRenderObject*);
using BoneIndexFn = int32_t (*)(HostHierarchy*, int32_t boneId);
using PedBonePositionFn = void(VT_THISCALL*)(HostPed*, Vec3* out, int32_t boneId, uint32_t flag);
using ForEachMeshFn = void (*)(HostRenderObject*, HostGame::MeshCallback, void* user);
using GeometrySkinFn = HostSkin* (*)(HostGeometry*);
using SetGeometrySkinFn = void (*)(HostGeometry*, HostSkin*);
using SkinWeightsFn = const float* (*)(HostSkin*);
using SkinBoneIndicesFn = const uint32_t* (*)(HostSkin*);
using SkinInverseBindFn = const HostMatrix* (*)(HostSkin*);
using FrameMatrixFn = const HostMatrix* (*)(HostFrame*);
using CreateGeometryFn = HostGeometry* (*)(int32_t vertices, int32_t triangles, uint32_t format);
using AppendMaterialFn = void (*)(GameMaterialList*, HostMaterial*);
using FinishGeometryFn = void (*)(HostGeometry*);
using DestroyGeometryFn = int32_t (*)(HostGeometry*);
using CreateSurfaceFn = HostSurface* (*)(int32_t width, int32_t height, int32_t depth,
                                         uint32_t flags);
using DestroySurfaceFn = void (*)(HostSurface*);
using LockSurfaceFn = uint8_t* (*)(HostSurface*, int32_t level, int32_t mode);
using UnlockSurfaceFn = void (*)(HostSurface*);
using CreateTextureFn = HostTexture* (*)(HostSurface*);
using ReleaseTextureFn = void (*)(HostTexture*);

// The hooked routines, called through their trampolines with their own contracts.
using DamageRoutineFn = void(VT_THISCALL*)(HostDamage*, HostEntity*, uint32_t, uint32_t);
using FireRoutineFn = uint8_t(VT_THISCALL*)(HostWeapon*, HostPed*, uint32_t, uint32_t, uint32_t,
                                            uint32_t, uint32_t);
using RenderRoutineFn = void(VT_THISCALL*)(HostPed*);

Vec3 Translation(const HostMatrix& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }

uintptr_t HookTarget(HookSite site) {
  switch (site) {
    case HookSite::Damage:
      return ga::kDamageRoutine;
    case HookSite::Fire:
      return ga::kFireRoutine;
    case HookSite::Render:
      return ga::kPedRender;
  }
  return 0;
}

const char* HookName(HookSite site) {
  switch (site) {
    case HookSite::Damage:
      return "damage";
    case HookSite::Fire:
      return "fire";
    case HookSite::Render:
      return "render";
  }
  return "";
}

bool AnyoneInsideTheSystem() { return HookEntriesBusy() || events::DispatchersBusy(); }

uintptr_t HookEntry(HookSite site) {
  switch (site) {
    case HookSite::Damage:
      return reinterpret_cast<uintptr_t>(&DamageHookEntry);
    case HookSite::Fire:
      return reinterpret_cast<uintptr_t>(&FireHookEntry);
    case HookSite::Render:
      return reinterpret_cast<uintptr_t>(&RenderHookEntry);
  }
  return 0;
}

}  // namespace

uintptr_t ResolveKeptAddress(uintptr_t fixedAddress) {
  const int version = ::GameVersion();
  return Rebase(game::IsSupportedVersion(version) ? fixedAddress : 0);
}

// The system's share of one inline hook; tells the host when the hook goes so that no
// trampoline call can reach a removed hook.
class GameHost::KeptHook : public HostHook {
 public:
  KeptHook(GameHost& host, HookSite site, std::unique_ptr<inline_hook::GameHook> hook)
      : host_(host), site_(site), hook_(std::move(hook)), installed_(hook_->Installed()) {}
  // The routine's own bytes go back first; threads still in the entry then reach it
  // through Call*Trampoline, which keeps using this hook until they have left.
  ~KeptHook() override {
    const bool leftInPlace = hook_->Remove() == memory::Removal::LeftInPlace;
    CloseHookEntry(site_);
    inline_hook::GameHook*& kept = host_.kept_[static_cast<int>(site_)];
    if (kept == hook_.get()) kept = nullptr;
    if (leftInPlace && LogOpen()) {
      LogLine("%s hook: left in place, another hook was placed over it", HookName(site_));
    }
  }

  // As placed, until this object goes: a thunk that finds the hook already removed still
  // calls the game's routine (Call*Trampoline calls it directly then).
  bool Installed() const override { return installed_; }
  void Lock() override { hook_->Lock(); }
  void Unlock() override { hook_->Unlock(); }

 private:
  GameHost& host_;
  HookSite site_;
  std::unique_ptr<inline_hook::GameHook> hook_;
  bool installed_;
};

GameHost::GameHost(uintptr_t camera, uintptr_t aimQuery) : camera_(camera), aimQuery_(aimQuery) {}

// The last of the library's objects to go. The hooks are out by now, but a thread may
// still stand on the first instructions of an entry or a dispatcher, before it is counted,
// or on the last ones, after it was: the library may be unmapped only once none does.
GameHost::~GameHost() {
  uintptr_t begin = 0;
  uintptr_t end = 0;
  if (memory::ModuleImage(reinterpret_cast<uintptr_t>(&AnyoneInsideTheSystem), &begin, &end)) {
    inline_hook::WaitUntilNoThreadIn(begin, end, AnyoneInsideTheSystem);
  }
}

int GameHost::GameVersion() { return ::GameVersion(); }

uint32_t GameHost::ClockMs() { return *At<volatile uint32_t>(ga::kClock); }

HostPed* GameHost::FindPlayerPed() { return Routine<FindPlayerPedFn>(ga::kFindPlayerPed)(-1); }

int32_t GameHost::PedPoolSlotCount() {
  const GamePedPool* pool = *At<GamePedPool*>(ga::kPedPoolPointer);
  return pool ? pool->count : 0;
}

HostPed* GameHost::PedPoolSlot(int32_t i) {
  const GamePedPool* pool = *At<GamePedPool*>(ga::kPedPoolPointer);
  if (!pool || !pool->storage || !pool->flags || i < 0 || i >= pool->count) return nullptr;
  if (pool->flags[i] < 0) return nullptr;
  return reinterpret_cast<HostPed*>(pool->storage + static_cast<uintptr_t>(i) * kPedSlotSize);
}

uint8_t GameHost::EntityType(HostEntity* entity) {
  return entity ? As<GamePed>(entity)->type & 7 : 0;
}

Vec3 GameHost::EntityPosition(HostEntity* entity) {
  if (!entity) return {0, 0, 0};
  const GamePed* e = As<GamePed>(entity);
  return e->matrix ? Translation(*e->matrix) : e->position;
}

float GameHost::PedHealth(HostPed* ped) { return ped ? As<GamePed>(ped)->health : 0.0f; }

HostRenderObject* GameHost::PedRenderObject(HostPed* ped) {
  return ped ? As<GamePed>(ped)->renderObject : nullptr;
}

int16_t GameHost::PedModelIndex(HostPed* ped) { return ped ? As<GamePed>(ped)->modelIndex : 0; }

Vec3 GameHost::PedBonePosition(HostPed* ped, int32_t boneId) {
  Vec3 out{0, 0, 0};
  if (ped) Routine<PedBonePositionFn>(ga::kPedBonePosition)(ped, &out, boneId, 1);
  return out;
}

DamageRecord GameHost::ReadDamageRecord(HostDamage* record) {
  if (!record) return {nullptr, 0.0f, 0, 0};
  const GameDamage* d = As<GameDamage>(record);
  return {d->damager, d->factor, d->piece, d->weapon};
}

int32_t GameHost::WeaponCode(HostWeapon* weapon) { return weapon ? *As<int32_t>(weapon) : 0; }

bool GameHost::ExplosionAt(int i, Vec3* position) {
  if (i < 0 || i >= kExplosionRecords) return false;
  const GameExplosion& e = At<GameExplosion>(ga::kExplosionTable)[i];
  if (!e.active) return false;
  if (position) *position = e.position;
  return true;
}

void GameHost::AimTargetQuery(float range, Vec3 origin, Vec3* aimStart, Vec3* aimEnd) {
  Routine<AimTargetQueryFn>(aimQuery_)(reinterpret_cast<void*>(camera_), range, origin.x, origin.y,
                                       origin.z, aimStart, aimEnd);
}

void GameHost::ActiveView(Vec3* eye, Vec3* direction) {
  const GameCamera* camera = At<GameCamera>(camera_);
  // The camera holds three views; a larger index would read past the camera object.
  const uint8_t i = camera ? camera->activeView : kCameraViews;
  const Vec3 zero{0, 0, 0};
  if (eye) *eye = i < kCameraViews ? camera->views[i].eye : zero;
  if (direction) *direction = i < kCameraViews ? camera->views[i].direction : zero;
}

bool GameHost::IsLineClear(Vec3 start, Vec3 end) {
  return Routine<IsLineClearFn>(ga::kIsLineClear)(&start, &end, 1, 1, 0, 1, 0, 0, 0) != 0;
}

HostHierarchy* GameHost::SkinHierarchy(HostRenderObject* object) {
  return object ? Routine<SkinHierarchyFn>(ga::kSkinHierarchy)(object) : nullptr;
}

HierarchyView GameHost::GetHierarchy(HostHierarchy* hierarchy) {
  if (!hierarchy) return {0, 0, nullptr, nullptr};
  const GameHierarchy* h = As<GameHierarchy>(hierarchy);
  return {h->flags, h->boneCount, h->boneMatrices, h->root};
}

int32_t GameHost::BoneIndex(HostHierarchy* hierarchy, int32_t boneId) {
  return hierarchy ? Routine<BoneIndexFn>(ga::kBoneIndex)(hierarchy, boneId) : -1;
}

const HostMatrix* GameHost::FrameMatrix(HostFrame* frame) {
  return frame ? Routine<FrameMatrixFn>(ga::kFrameMatrix)(frame) : nullptr;
}

void GameHost::ForEachMesh(HostRenderObject* object, MeshCallback callback, void* user) {
  if (object && callback) Routine<ForEachMeshFn>(ga::kForEachMesh)(object, callback, user);
}

HostGeometry* GameHost::MeshGeometry(HostMesh* mesh) {
  return mesh ? As<GameMesh>(mesh)->geometry : nullptr;
}

void GameHost::SetMeshGeometry(HostMesh* mesh, HostGeometry* geometry) {
  if (mesh) As<GameMesh>(mesh)->geometry = geometry;
}

bool GameHost::MeshHasRenderCallback(HostMesh* mesh) { return mesh && As<GameMesh>(mesh)->render; }

void GameHost::CallMeshRenderCallback(HostMesh* mesh) {
  if (!mesh) return;
  if (GameMeshRenderCallback render = As<GameMesh>(mesh)->render) render(mesh);
}

GeometryView GameHost::GetGeometry(HostGeometry* geometry) {
  GeometryView view{};
  if (!geometry) return view;
  const GameGeometry* g = As<GameGeometry>(geometry);
  view.vertexCount = g->vertexCount;
  view.triangleCount = g->triangleCount;
  view.format = g->format;
  view.triangles = g->triangles;
  view.texCoords = g->texCoords;
  view.colours = g->colours;
  view.materials = g->materials.materials;
  view.materialCount = g->materials.count;
  if (GameVertexData* data = g->vertexData) {
    view.hasVertexData = true;
    view.positions = data->positions;
    view.normals = data->normals;
    view.bounds = data->bounds;
  }
  return view;
}

HostGeometry* GameHost::CreateGeometry(int32_t vertices, int32_t triangles, uint32_t format) {
  return Routine<CreateGeometryFn>(ga::kCreateGeometry)(vertices, triangles, format);
}

void GameHost::AppendMaterial(HostGeometry* geometry, HostMaterial* material) {
  if (geometry) {
    Routine<AppendMaterialFn>(ga::kAppendMaterial)(&As<GameGeometry>(geometry)->materials,
                                                   material);
  }
}

void GameHost::FinishGeometry(HostGeometry* geometry) {
  if (geometry) Routine<FinishGeometryFn>(ga::kFinishGeometry)(geometry);
}

void GameHost::DestroyGeometry(HostGeometry* geometry) {
  if (geometry) Routine<DestroyGeometryFn>(ga::kDestroyGeometry)(geometry);
}

HostSkin* GameHost::GeometrySkin(HostGeometry* geometry) {
  return geometry ? Routine<GeometrySkinFn>(ga::kGeometrySkin)(geometry) : nullptr;
}

void GameHost::SetGeometrySkin(HostGeometry* geometry, HostSkin* skin) {
  if (geometry) Routine<SetGeometrySkinFn>(ga::kSetGeometrySkin)(geometry, skin);
}

SkinView GameHost::GetSkin(HostSkin* skin) {
  if (!skin) return {nullptr, nullptr, nullptr};
  return {Routine<SkinWeightsFn>(ga::kSkinWeights)(skin),
          Routine<SkinBoneIndicesFn>(ga::kSkinBoneIndices)(skin),
          Routine<SkinInverseBindFn>(ga::kSkinInverseBind)(skin)};
}

void GameHost::TextureName(HostTexture* texture, char (&name)[kTextureNameLength + 1]) {
  const char* stored = texture ? As<GameTexture>(texture)->name : "";
  size_t length = 0;
  while (length < kTextureNameLength && stored[length] != '\0') ++length;
  std::memcpy(name, stored, length);
  name[length] = '\0';
}

HostTexture* GameHost::MaterialTexture(HostMaterial* material) {
  return material ? As<GameMaterial>(material)->texture : nullptr;
}

void GameHost::SetMaterialTexture(HostMaterial* material, HostTexture* texture) {
  if (material) As<GameMaterial>(material)->texture = texture;
}

uint32_t GameHost::MaterialColour(HostMaterial* material) {
  return material ? As<GameMaterial>(material)->colour : 0;
}

void GameHost::SetMaterialColour(HostMaterial* material, uint32_t colour) {
  if (material) As<GameMaterial>(material)->colour = colour;
}

HostSurface* GameHost::CreateSurface(int32_t width, int32_t height, int32_t depth, uint32_t flags) {
  return Routine<CreateSurfaceFn>(ga::kCreateSurface)(width, height, depth, flags);
}

void GameHost::DestroySurface(HostSurface* surface) {
  if (surface) Routine<DestroySurfaceFn>(ga::kDestroySurface)(surface);
}

uint8_t* GameHost::LockSurface(HostSurface* surface, int32_t level, int32_t mode) {
  return surface ? Routine<LockSurfaceFn>(ga::kLockSurface)(surface, level, mode) : nullptr;
}

void GameHost::UnlockSurface(HostSurface* surface) {
  if (surface) Routine<UnlockSurfaceFn>(ga::kUnlockSurface)(surface);
}

int32_t GameHost::SurfaceStride(HostSurface* surface) {
  return surface ? As<GameSurface>(surface)->stride : 0;
}

HostTexture* GameHost::CreateTexture(HostSurface* surface) {
  return surface ? Routine<CreateTextureFn>(ga::kCreateTexture)(surface) : nullptr;
}

void GameHost::ReleaseTexture(HostTexture* texture) {
  if (texture) Routine<ReleaseTextureFn>(ga::kReleaseTexture)(texture);
}

HostSurface* GameHost::TextureSurface(HostTexture* texture) {
  return texture ? As<GameTexture>(texture)->surface : nullptr;
}

void GameHost::SetTextureSampling(HostTexture* texture, uint32_t word) {
  if (texture) As<GameTexture>(texture)->sampling = word;
}

std::unique_ptr<HostHook> GameHost::PlaceInlineHook(HookSite site, const HookHandlers& handlers) {
  std::unique_ptr<inline_hook::GameHook> hook =
      inline_hook::PlaceGameHook(HookTarget(site), HookEntry(site));
  kept_[static_cast<int>(site)] = hook.get();
  if (hook->Installed()) OpenHookEntry(site, handlers);
  return std::make_unique<KeptHook>(*this, site, std::move(hook));
}

// Where the site's game routine is called from, the site's hook held meanwhile: its
// trampoline while it is installed, else the routine itself (its bytes are back).
class GameHost::OriginalRoutine {
 public:
  OriginalRoutine(const GameHost& host, HookSite site) : hook_(host.kept_[static_cast<int>(site)]) {
    if (hook_) hook_->Lock();
    address_ = hook_ && hook_->Installed() ? hook_->Trampoline() : HookTarget(site);
  }
  ~OriginalRoutine() {
    if (hook_) hook_->Unlock();
  }
  OriginalRoutine(const OriginalRoutine&) = delete;
  OriginalRoutine& operator=(const OriginalRoutine&) = delete;
  uintptr_t address() const { return address_; }

 private:
  inline_hook::GameHook* hook_;
  uintptr_t address_;
};

void GameHost::CallDamageTrampoline(HostDamage* record, HostEntity* entity, uint32_t arg1,
                                    uint32_t arg2) {
  const OriginalRoutine original(*this, HookSite::Damage);
  Routine<DamageRoutineFn>(original.address())(record, entity, arg1, arg2);
}

uint8_t GameHost::CallFireTrampoline(HostWeapon* weapon, const FireArgs& args) {
  const OriginalRoutine original(*this, HookSite::Fire);
  return Routine<FireRoutineFn>(original.address())(
      weapon, args.shooter, args.rest[0], args.rest[1], args.rest[2], args.rest[3], args.rest[4]);
}

void GameHost::CallRenderTrampoline(HostPed* ped) {
  const OriginalRoutine original(*this, HookSite::Render);
  Routine<RenderRoutineFn>(original.address())(ped);
}

std::unique_ptr<HostPatch> GameHost::SubscribePedRemoval(EventOrder order,
                                                         PedEventCallback callback, int32_t id) {
  return events::SubscribePedRemoval(order, callback, id);
}

std::unique_ptr<HostPatch> GameHost::Subscribe(HostEvent event, EventOrder order,
                                               PlainEventCallback callback, int32_t id) {
  return events::Subscribe(event, order, callback, id);
}

// The rewritten call is never undone, so its callee lives in memory kept for the life of
// the process rather than in this library, which may be unloaded.
void GameHost::KeepHeadsOnHeadshots() {
  static constexpr uint8_t kReturnRemovingTwoArguments[] = {0xC2, 0x08, 0x00};  // ret 8
  inline_hook::Allocation routine =
      inline_hook::Allocator::Shared(inline_hook::SystemPageSource())
          ->Allocate(sizeof(kReturnRemovingTwoArguments), {ga::kHeadRemovalCall});
  if (routine.address() == 0) return;
  std::memcpy(reinterpret_cast<void*>(routine.address()), kReturnRemovingTwoArguments,
              sizeof(kReturnRemovingTwoArguments));
  memory::MakeCall(ga::kHeadRemovalCall, routine.address());
  static_cast<void>(new inline_hook::Allocation(std::move(routine)));
}
