// GameHost: HostGame on the running game (32-bit Windows only). Reads the game's records
// at their fixed addresses and field offsets and calls its routines with the game's own
// calling conventions; hooks, events and the head patch go through the hooking layer.
#pragma once

#include <cstdint>
#include <memory>

#include "host/host_game.h"

namespace inline_hook {
class GameHook;
}

// The address a kept host address resolves to: Rebase(fixedAddress) on the accepted
// builds 1001 and 1002, Rebase(0) on any other. The first call detects the game version.
uintptr_t ResolveKeptAddress(uintptr_t fixedAddress);

class GameHost : public HostGame {
 public:
  // camera and aimQuery: the resolved addresses of the camera object and of the
  // aim-target query (ResolveKeptAddress at static initialisation).
  GameHost(uintptr_t camera, uintptr_t aimQuery);
  ~GameHost() override;
  GameHost(const GameHost&) = delete;
  GameHost& operator=(const GameHost&) = delete;

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
  // Diverts the site's routine to its entry in game_thunks.h. The hook is kept here for
  // the Call*Trampoline operations until the returned object is destroyed. These call the
  // game's routine through the trampoline, or directly once the hook is removed.
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

 private:
  class KeptHook;
  class OriginalRoutine;

  uintptr_t camera_;
  uintptr_t aimQuery_;
  inline_hook::GameHook* kept_[3] = {};  // by HookSite; owned by the returned objects
};
