// HostGame: the one interface between the system and the game it lives in. Two
// implementations: the game process itself (fixed addresses, field offsets and calling
// conventions, 32-bit Windows only) and SimHost, a simulated world for tests and tools.
//
// Contracts shared by every operation: a null object pointer is answered with a neutral
// result (null, 0, false, an empty view) and never dereferenced; counts are returned as
// the host holds them, and callers check indices against them.
#pragma once

#include <cstdint>
#include <memory>

#include "host/host_types.h"

// Something placed in host code that is undone when the object is destroyed.
class HostPatch {
 public:
  virtual ~HostPatch() = default;
};

// An inline hook on one host routine. Destroying it removes the hook.
class HostHook : public HostPatch {
 public:
  // Installed when its trampoline exists; the thunks and the start-up lines test this.
  virtual bool Installed() const = 0;
  // The hook's own recursive lock, held while the host routine runs through the
  // trampoline and while the hook is removed.
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

// What the hooked routines run instead of themselves: the system's thunks.
struct HookHandlers {
  void (*damage)(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2);
  uint8_t (*fire)(HostWeapon* weapon, const FireArgs& args);
  void (*render)(HostPed* ped);
};

class HostGame {
 public:
  virtual ~HostGame() = default;

  // --- Build of the running game (cached detection: 1001, 1002, other codes, 0).
  virtual int GameVersion() = 0;

  // --- Clock: the game's 32-bit millisecond counter (0xB7CB84).
  virtual uint32_t ClockMs() = 0;

  // --- Player and ped pool.
  virtual HostPed* FindPlayerPed() = 0;         // 0x56E210 (-1), may be null
  virtual int32_t PedPoolSlotCount() = 0;       // pool +0x8, as stored (may be <= 0)
  virtual HostPed* PedPoolSlot(int32_t i) = 0;  // null for a free slot

  // --- Entity and ped fields.
  virtual uint8_t EntityType(HostEntity* entity) = 0;           // +0x36, low three bits; 3 is a ped
  virtual Vec3 EntityPosition(HostEntity* entity) = 0;          // matrix translation, else +0x4
  virtual float PedHealth(HostPed* ped) = 0;                    // +0x540
  virtual HostRenderObject* PedRenderObject(HostPed* ped) = 0;  // +0x18
  virtual int16_t PedModelIndex(HostPed* ped) = 0;              // +0x22
  virtual Vec3 PedBonePosition(HostPed* ped, int32_t boneId) = 0;  // 0x5E4280 (out, bone, 1)

  // --- Damage records, weapons and explosions.
  virtual DamageRecord ReadDamageRecord(HostDamage* record) = 0;
  virtual int32_t WeaponCode(HostWeapon* weapon) = 0;  // first 32-bit field
  static constexpr int kExplosionSlots = 16;
  // Explosion table record i (0xC88950 + i * 124): true while active, with its position.
  virtual bool ExplosionAt(int i, Vec3* position) = 0;

  // --- Camera.
  // 0x514970 on the camera: fills the aim segment for a shooter at origin.
  virtual void AimTargetQuery(float range, Vec3 origin, Vec3* aimStart, Vec3* aimEnd) = 0;
  // The active view record's eye position and view direction.
  virtual void ActiveView(Vec3* eye, Vec3* direction) = 0;
  // 0x56A490 with the flags 1, 1, 0, 1, 0, 0, 0: true when nothing blocks the line.
  virtual bool IsLineClear(Vec3 start, Vec3 end) = 0;

  // --- Render objects and skin hierarchies.
  virtual HostHierarchy* SkinHierarchy(HostRenderObject* object) = 0;  // 0x734A40
  virtual HierarchyView GetHierarchy(HostHierarchy* hierarchy) = 0;
  virtual int32_t BoneIndex(HostHierarchy* hierarchy, int32_t boneId) = 0;  // 0x7C51A0
  virtual const HostMatrix* FrameMatrix(HostFrame* frame) = 0;              // 0x7F0990
  // 0x749B70: calls callback once per mesh, in the host's order.
  using MeshCallback = HostMesh* (*)(HostMesh* mesh, void* user);
  virtual void ForEachMesh(HostRenderObject* object, MeshCallback callback, void* user) = 0;

  // --- Meshes.
  virtual HostGeometry* MeshGeometry(HostMesh* mesh) = 0;  // +0x18
  virtual void SetMeshGeometry(HostMesh* mesh, HostGeometry* geometry) = 0;
  virtual bool MeshHasRenderCallback(HostMesh* mesh) = 0;  // +0x48 non-null
  virtual void CallMeshRenderCallback(HostMesh* mesh) = 0;

  // --- Geometries and skin records.
  virtual GeometryView GetGeometry(HostGeometry* geometry) = 0;
  virtual HostGeometry* CreateGeometry(int32_t vertices, int32_t triangles, uint32_t format) = 0;
  virtual void AppendMaterial(HostGeometry* geometry, HostMaterial* material) = 0;  // 0x74E350
  virtual void FinishGeometry(HostGeometry* geometry) = 0;                          // 0x74C800
  // 0x74CCC0: frees a geometry and drops its references to its materials.
  virtual void DestroyGeometry(HostGeometry* geometry) = 0;
  virtual HostSkin* GeometrySkin(HostGeometry* geometry) = 0;                // 0x7C7550
  virtual void SetGeometrySkin(HostGeometry* geometry, HostSkin* skin) = 0;  // 0x7C7560
  virtual SkinView GetSkin(HostSkin* skin) = 0;  // 0x7C77F0, 0x7C7800, 0x7C7810

  // --- Materials.
  virtual HostTexture* MaterialTexture(HostMaterial* material) = 0;  // +0x0
  virtual void SetMaterialTexture(HostMaterial* material, HostTexture* texture) = 0;
  virtual uint32_t MaterialColour(HostMaterial* material) = 0;  // +0x4
  virtual void SetMaterialColour(HostMaterial* material, uint32_t colour) = 0;
  // The texture's name (+0x10, at most kTextureNameLength characters), always terminated;
  // empty for a null texture.
  virtual void TextureName(HostTexture* texture, char (&name)[kTextureNameLength + 1]) = 0;

  // --- Pixel surfaces and textures.
  virtual HostSurface* CreateSurface(int32_t width, int32_t height, int32_t depth,
                                     uint32_t flags) = 0;  // 0x7FB230
  virtual void DestroySurface(HostSurface* surface) = 0;   // 0x7FB020
  virtual uint8_t* LockSurface(HostSurface* surface, int32_t level, int32_t mode) = 0;
  virtual void UnlockSurface(HostSurface* surface) = 0;           // 0x7FAEC0
  virtual int32_t SurfaceStride(HostSurface* surface) = 0;        // +0x18
  virtual HostTexture* CreateTexture(HostSurface* surface) = 0;   // 0x7F37C0, takes the surface
  virtual void ReleaseTexture(HostTexture* texture) = 0;          // 0x7F3820
  virtual HostSurface* TextureSurface(HostTexture* texture) = 0;  // +0x0
  virtual void SetTextureSampling(HostTexture* texture, uint32_t word) = 0;  // +0x50

  // --- Code patching. When the game reaches a hooked routine it runs the site's handler
  // from the handlers given with the hook; the handler calls the original routine through
  // the trampoline with the Call*Trampoline operations. Empty hook on failure.
  virtual std::unique_ptr<HostHook> PlaceInlineHook(HookSite site,
                                                    const HookHandlers& handlers) = 0;
  virtual void CallDamageTrampoline(HostDamage* record, HostEntity* entity, uint32_t arg1,
                                    uint32_t arg2) = 0;
  virtual uint8_t CallFireTrampoline(HostWeapon* weapon, const FireArgs& args) = 0;
  virtual void CallRenderTrampoline(HostPed* ped) = 0;

  // Subscribes a callback to a call-site event; patches the event's call sites the first
  // time the event gets a callback. The returned object is the subscription's share of
  // the patch: the call sites are restored when the last of them is destroyed.
  virtual std::unique_ptr<HostPatch> SubscribePedRemoval(EventOrder order,
                                                         PedEventCallback callback, int32_t id) = 0;
  virtual std::unique_ptr<HostPatch> Subscribe(HostEvent event, EventOrder order,
                                               PlainEventCallback callback, int32_t id) = 0;

  // Rewrites the head-removal call (0x4B3A49) to a routine that only removes its two
  // arguments. Not undone at shutdown.
  virtual void KeepHeadsOnHeadshots() = 0;
};
