#include "synthetic_game.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/sim/procedural_ped.h"
#include "host/sim/sim_host.h"

#define GAME_THISCALL __attribute__((thiscall))
#define GAME_STDCALL __attribute__((stdcall))

namespace synthetic {

namespace ga = game_address;

SyntheticGame* SyntheticGame::current = nullptr;

// The entry stack pointer E is placed below the caller's frame; the arguments are pushed
// over it and the call's return address lands at E. The frame pointer restores the stack
// whoever removes the arguments.
asm(".text\n"
    ".globl vt_call_with_stack_at\n"
    "vt_call_with_stack_at:\n"
    " pushl %ebp\n"
    " movl %esp, %ebp\n"
    " pushl %esi\n"
    " movl 16(%ebp), %esi\n"    // args
    " movl 20(%ebp), %edx\n"    // count
    " leal 0(,%edx,4), %eax\n"  // argument bytes
    " movl %esp, %ecx\n"
    " subl %eax, %ecx\n"
    " subl $36, %ecx\n"
    " andl $-16, %ecx\n"
    " addl 24(%ebp), %ecx\n"  // E
    " leal 4(%ecx,%eax), %esp\n"
    "1: testl %edx, %edx\n"
    " jz 2f\n"
    " decl %edx\n"
    " pushl (%esi,%edx,4)\n"
    " jmp 1b\n"
    "2: movl 12(%ebp), %ecx\n"
    " call *8(%ebp)\n"
    " leal -4(%ebp), %esp\n"
    " popl %esi\n"
    " popl %ebp\n"
    " ret\n");

namespace {

constexpr int kPoolSlots = 4;
constexpr uint32_t kFrameMs = 33;
// Results the game's callees return, to see them passed back through the call sites.
constexpr uintptr_t kRemoveResult = 0x5EED0001;
constexpr uintptr_t kFrameResult = 0x5EED0002;
constexpr uintptr_t kResetResult = 0x5EED0003;

// The routines that hold the call sites start 8 bytes before the call.
constexpr uintptr_t kCallSites[5] = {ga::kPedRemovalCall, ga::kFrameCall, ga::kFirstResetCall,
                                     ga::kSecondResetCallA, ga::kSecondResetCallB};
constexpr uintptr_t kHookTargets[3] = {ga::kDamageRoutine, ga::kFireRoutine, ga::kPedRender};

template <typename T>
T* At(uintptr_t address) {
  return reinterpret_cast<T*>(address);
}

void Put(uintptr_t at, std::initializer_list<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), At<uint8_t>(at));
}

void PutBranch(uintptr_t at, uint8_t opcode, const void* to) {
  *At<uint8_t>(at) = opcode;
  const int32_t rel = static_cast<int32_t>(reinterpret_cast<uintptr_t>(to) - (at + 5));
  std::memcpy(At<uint8_t>(at + 1), &rel, 4);
}

void PutJump(uintptr_t at, const void* to) { PutBranch(at, 0xE9, to); }

// A routine that sets up a frame of its own and leaves it again before it jumps to the
// implementation; the hook engine displaces the first three instructions (6 bytes).
void PutFramedRoutine(uintptr_t at, const void* implementation) {
  Put(at, {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0x8B, 0xE5, 0x5D});  // push ebp; mov ebp,
  PutJump(at + 9, implementation);  // esp; sub esp, 16; mov esp, ebp; pop ebp; jmp
}

// A routine that returns at once for a null object: its first five bytes hold a short
// conditional branch that the hook engine has to widen in the trampoline.
void PutCheckedRoutine(uintptr_t at, const void* implementation) {
  Put(at, {0x85, 0xC9, 0x74, 0x0B, 0x55, 0x8B, 0xEC, 0x8B, 0xE5, 0x5D});  // test ecx, ecx;
  PutJump(at + 10, implementation);  // jz done; push ebp; mov ebp, esp; mov esp, ebp;
  Put(at + 15, {0xC3});              // pop ebp; jmp; done: ret
}

// A plain routine around a call site: the call sits 8 bytes in. For a member call the
// routine's first stack argument goes to ECX.
void PutCallSiteRoutine(uintptr_t site, const void* callee, bool memberCallOnArgument) {
  const uintptr_t start = site - 8;
  if (memberCallOnArgument) {
    Put(start, {0x55, 0x8B, 0xEC, 0x8B, 0x4D, 0x08, 0x90, 0x90});  // push ebp; mov ebp,
  } else {                                                         // esp; mov ecx, [ebp+8]
    Put(start, {0x55, 0x8B, 0xEC, 0x90, 0x90, 0x90, 0x90, 0x90});
  }
  PutBranch(site, 0xE8, callee);
  Put(site + 5, {0x5D, 0xC3});  // pop ebp; ret
}

Vec3 Normalised(Vec3 v) {
  const float length = Length(v);
  return length > 0 ? v * (1.0f / length) : v;
}

struct Weapon {
  int32_t code;
  uint32_t state[7];
};

struct RenderObject {
  HostHierarchy* hierarchy = nullptr;
  std::vector<HostMesh*> meshes;
};

struct HierarchyRecord {
  GameHierarchy game{};
  std::vector<int32_t> boneIds;
  std::vector<HostMatrix> matrices;
};

struct SkinRecord {
  std::vector<float> weights;
  std::vector<uint32_t> boneIndices;
  std::vector<HostMatrix> inverseBind;
};

}  // namespace

struct SyntheticGame::Storage {
  GamePedPool pool{};
  std::unique_ptr<GamePed[]> slots{new GamePed[kPoolSlots]()};
  int8_t flags[kPoolSlots] = {-1, -1, -1, -1};
  std::vector<std::unique_ptr<Ped>> peds;
  std::vector<std::unique_ptr<HostMatrix>> matrices;
  std::vector<std::unique_ptr<RenderObject>> objects;
  std::map<HostHierarchy*, std::unique_ptr<HierarchyRecord>> hierarchies;
  std::vector<std::unique_ptr<GameMesh>> meshes;
  std::vector<std::unique_ptr<GameGeometry>> geometries;
  std::vector<std::unique_ptr<SkinRecord>> skins;
  std::vector<std::unique_ptr<GameMaterial>> materials;
  std::vector<std::unique_ptr<GameTexture>> textures;
  std::vector<std::unique_ptr<GameSurface>> surfaces;
  std::vector<std::unique_ptr<GameDamage>> damages;
  std::vector<std::unique_ptr<Weapon>> weapons;
  Vec3 aimTarget{0, 0, 0};
};

// The game's routines, with the game's calling conventions.
struct Routines {
  static SyntheticGame& G() { return *SyntheticGame::current; }
  static SyntheticGame::Storage& S() { return *G().storage_; }

  static HostPed* FindPlayerPed(int32_t which) {
    if (which != -1) ++G().badPlayerLookups;
    return reinterpret_cast<HostPed*>(G().player_);
  }

  // From the shooter's shoulder towards the point the player aims at.
  static void GAME_THISCALL AimTargetQuery(GameCamera* camera, float range, float x, float y,
                                           float z, Vec3* aimStart, Vec3* aimEnd) {
    if (camera != At<GameCamera>(ga::kCamera)) return;
    const Vec3 start{x, y, z + 1.5f};
    *aimStart = start;
    const Vec3 target = S().aimTarget + Vec3{0, 0, G().aimQueryMisses ? 3.0f : 0.0f};
    *aimEnd = start + Normalised(target - start) * range;
    G().lastAimStart = *aimStart;
    G().lastAimEnd = *aimEnd;
  }

  static uint8_t IsLineClear(const Vec3* start, const Vec3* end, uint32_t f1, uint32_t f2,
                             uint32_t f3, uint32_t f4, uint32_t f5, uint32_t f6, uint32_t f7) {
    const bool flagsAsExpected =
        f1 == 1 && f2 == 1 && f3 == 0 && f4 == 1 && f5 == 0 && f6 == 0 && f7 == 0;
    if (!start || !end || !flagsAsExpected) ++G().badLineTests;
    return 1;
  }

  static HostHierarchy* SkinHierarchy(HostRenderObject* object) {
    return object ? reinterpret_cast<RenderObject*>(object)->hierarchy : nullptr;
  }

  static int32_t BoneIndex(HostHierarchy* hierarchy, int32_t boneId) {
    auto found = S().hierarchies.find(hierarchy);
    if (found == S().hierarchies.end()) return -1;
    const std::vector<int32_t>& ids = found->second->boneIds;
    auto bone = std::find(ids.begin(), ids.end(), boneId);
    return bone == ids.end() ? -1 : static_cast<int32_t>(bone - ids.begin());
  }

  static void GAME_THISCALL PedBonePosition(GamePed* ped, Vec3* out, int32_t, uint32_t flag) {
    if (flag != 1) ++G().badBoneQueries;
    *out = ped->matrix ? Vec3{ped->matrix->m[3][0], ped->matrix->m[3][1], ped->matrix->m[3][2]}
                       : ped->position;
  }

  static void ForEachMesh(HostRenderObject* object, HostMesh* (*callback)(HostMesh*, void*),
                          void* user) {
    for (HostMesh* mesh : reinterpret_cast<RenderObject*>(object)->meshes) {
      const uint32_t args[2] = {reinterpret_cast<uintptr_t>(mesh),
                                reinterpret_cast<uintptr_t>(user)};
      if (!CallWithStackAt(reinterpret_cast<uintptr_t>(callback), 0, args, 2,
                           G().callbackStackOffset)) {
        break;
      }
    }
  }

  static HostSkin* GeometrySkin(HostGeometry* geometry) {
    auto found = G().geometries.find(geometry);
    return found == G().geometries.end() ? nullptr : found->second.skin;
  }

  static HostGeometry* SetGeometrySkin(HostGeometry* geometry, HostSkin* skin) {
    auto found = G().geometries.find(geometry);
    if (found != G().geometries.end()) found->second.skin = skin;
    return geometry;
  }

  static const float* SkinWeights(HostSkin* skin) {
    return reinterpret_cast<SkinRecord*>(skin)->weights.data();
  }
  static const uint32_t* SkinBoneIndices(HostSkin* skin) {
    return reinterpret_cast<SkinRecord*>(skin)->boneIndices.data();
  }
  static const HostMatrix* SkinInverseBind(HostSkin* skin) {
    return reinterpret_cast<SkinRecord*>(skin)->inverseBind.data();
  }
  static const HostMatrix* FrameMatrix(HostFrame* frame) {
    return reinterpret_cast<HostMatrix*>(frame);
  }

  // Makes the arrays the format word asks for: 0x04 texture coordinates, 0x08 colours,
  // 0x10 normals; positions always.
  static HostGeometry* CreateGeometry(int32_t vertices, int32_t triangles, uint32_t format) {
    if (vertices < 0 || triangles < 0 || vertices > 65536) return nullptr;
    S().geometries.push_back(std::make_unique<GameGeometry>());
    GameGeometry* game = S().geometries.back().get();
    HostGeometry* handle = reinterpret_cast<HostGeometry*>(game);
    GeometryInfo& info = G().geometries[handle];
    info.madeBySystem = true;
    info.triangles.resize(static_cast<size_t>(triangles));
    info.positions.resize(static_cast<size_t>(vertices));
    if (format & 0x04) info.texCoords.resize(static_cast<size_t>(vertices));
    if (format & 0x08) info.colours.resize(static_cast<size_t>(vertices));
    if (format & 0x10) info.normals.resize(static_cast<size_t>(vertices));
    game->format = format;
    game->vertexCount = vertices;
    game->triangleCount = triangles;
    game->triangles = info.triangles.data();
    game->texCoords = info.texCoords.empty() ? nullptr : info.texCoords.data();
    game->colours = info.colours.empty() ? nullptr : info.colours.data();
    info.vertexData.parent = handle;
    info.vertexData.positions = info.positions.data();
    info.vertexData.normals = info.normals.empty() ? nullptr : info.normals.data();
    game->vertexData = &info.vertexData;
    return handle;
  }

  static GameMaterialList* AppendMaterial(GameMaterialList* list, HostMaterial* material) {
    auto* game = reinterpret_cast<GameGeometry*>(reinterpret_cast<uint8_t*>(list) -
                                                 offsetof(GameGeometry, materials));
    GeometryInfo& info = G().geometries.at(reinterpret_cast<HostGeometry*>(game));
    info.materials.push_back(material);
    list->materials = info.materials.data();
    list->count = static_cast<int32_t>(info.materials.size());
    list->capacity = static_cast<int32_t>(info.materials.capacity());
    return list;
  }

  static HostGeometry* FinishGeometry(HostGeometry* geometry) {
    G().geometries.at(geometry).finished = true;
    return geometry;
  }

  static int32_t DestroyGeometry(HostGeometry* geometry) {
    G().geometries.at(geometry).destroyed = true;
    return 1;
  }

  static HostSurface* CreateSurface(int32_t width, int32_t height, int32_t depth, uint32_t flags) {
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || depth != 32) {
      return nullptr;
    }
    S().surfaces.push_back(std::make_unique<GameSurface>());
    GameSurface* game = S().surfaces.back().get();
    game->stride = width * 4;
    SurfaceInfo& info = G().surfaces[reinterpret_cast<HostSurface*>(game)];
    info.width = width;
    info.height = height;
    info.depth = depth;
    info.flags = flags;
    info.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0xCD);
    return reinterpret_cast<HostSurface*>(game);
  }

  static void DestroySurface(HostSurface* surface) { G().surfaces.at(surface).destroyed = true; }

  static uint8_t* LockSurface(HostSurface* surface, int32_t level, int32_t mode) {
    SurfaceInfo& info = G().surfaces.at(surface);
    if (level != 0 || mode != 5 || info.locked || info.destroyed) ++G().badLocks;
    info.locked = true;
    info.lockMode = mode;
    return info.pixels.data();
  }

  static HostSurface* UnlockSurface(HostSurface* surface) {
    G().surfaces.at(surface).locked = false;
    return surface;
  }

  static HostTexture* CreateTexture(HostSurface* surface) {
    S().textures.push_back(std::make_unique<GameTexture>());
    GameTexture* game = S().textures.back().get();
    game->surface = surface;
    HostTexture* handle = reinterpret_cast<HostTexture*>(game);
    G().textures[handle].madeBySystem = true;
    return handle;
  }

  // The texture owns its surface.
  static void ReleaseTexture(HostTexture* texture) {
    TextureInfo& info = G().textures.at(texture);
    if (++info.releases == 1) {
      if (HostSurface* surface = reinterpret_cast<GameTexture*>(texture)->surface) {
        G().surfaces.at(surface).destroyed = true;
      }
    }
  }

  // --- The hooked routines.
  static void GAME_THISCALL DamageRoutine(GameDamage* record, GamePed* entity, uint32_t arg1,
                                          uint32_t arg2) {
    ++G().damageCalls;
    G().lastDamageArgs[0] = arg1;
    G().lastDamageArgs[1] = arg2;
    if (entity && (entity->type & 7) == 3 && entity->health > 0) {
      entity->health = std::max(0.0f, entity->health - record->factor);
    }
  }

  static uint8_t GAME_THISCALL FireRoutine(Weapon*, GamePed*, uint32_t a2, uint32_t a3, uint32_t a4,
                                           uint32_t a5, uint32_t a6) {
    ++G().fireCalls;
    const uint32_t args[5] = {a2, a3, a4, a5, a6};
    std::copy(args, args + 5, G().lastFireArgs);
    return G().fireResult;
  }

  static void MeshRender(HostMesh* mesh) {
    auto* game = reinterpret_cast<GameMesh*>(mesh);
    Draw draw{mesh, game->geometry, {}, {}};
    if (auto* geometry = reinterpret_cast<GameGeometry*>(game->geometry)) {
      for (int32_t i = 0; i < geometry->materials.count; ++i) {
        auto* material = reinterpret_cast<GameMaterial*>(geometry->materials.materials[i]);
        draw.textures.push_back(material->texture);
        draw.colours.push_back(material->colour);
      }
    }
    G().draws.push_back(std::move(draw));
  }

  static void GAME_THISCALL PedRender(GamePed* ped) {
    ++G().renderCalls;
    auto* object = reinterpret_cast<RenderObject*>(ped->renderObject);
    if (!object) return;
    for (HostMesh* mesh : object->meshes) {
      if (GameMeshRenderCallback render = reinterpret_cast<GameMesh*>(mesh)->render) {
        render(mesh);
      }
    }
  }

  // --- The callees of the call sites.
  static void* GAME_THISCALL RemovePed(GamePed* ped) {
    ++G().removeCalls;
    for (Ped* p : G().peds) {
      if (p->game != ped) continue;
      bool released = true;
      for (HostTexture* texture : G().TexturesDrawnFor(*p)) {
        released = released && G().textures.at(texture).releases > 0;
      }
      G().removedPedHadTextures = !released;
      S().flags[p->slot] = -1;
    }
    return reinterpret_cast<void*>(kRemoveResult);
  }

  static void* FrameStep() {
    ++G().frameCalls;
    G().AdvanceClock(kFrameMs);
    return reinterpret_cast<void*>(kFrameResult);
  }

  static void* FirstReset() {
    ++G().resetCalls[0];
    return reinterpret_cast<void*>(kResetResult);
  }
  static void* SecondResetA() {
    ++G().resetCalls[1];
    return reinterpret_cast<void*>(kResetResult);
  }
  static void* SecondResetB() {
    ++G().resetCalls[2];
    return reinterpret_cast<void*>(kResetResult);
  }

  static void GAME_STDCALL RemoveHead(GamePed*, uint32_t) { ++G().headRemovals; }
};

namespace {

const void* const kCallSiteCallees[5] = {reinterpret_cast<const void*>(&Routines::RemovePed),
                                         reinterpret_cast<const void*>(&Routines::FrameStep),
                                         reinterpret_cast<const void*>(&Routines::FirstReset),
                                         reinterpret_cast<const void*>(&Routines::SecondResetA),
                                         reinterpret_cast<const void*>(&Routines::SecondResetB)};

template <typename Fn>
Fn Call(uintptr_t address) {
  return reinterpret_cast<Fn>(address);
}

}  // namespace

bool CodeBytes::operator==(const CodeBytes& other) const {
  return std::memcmp(this, &other, sizeof(CodeBytes)) == 0;
}

SyntheticGame::SyntheticGame() : storage_(new Storage) {
  current = this;
  SetProbe(0x53EC8B55);  // 55 8B EC 53: the 1001 build

  PutFramedRoutine(ga::kDamageRoutine, reinterpret_cast<const void*>(&Routines::DamageRoutine));
  PutFramedRoutine(ga::kFireRoutine, reinterpret_cast<const void*>(&Routines::FireRoutine));
  PutCheckedRoutine(ga::kPedRender, reinterpret_cast<const void*>(&Routines::PedRender));

  PutCallSiteRoutine(ga::kPedRemovalCall, kCallSiteCallees[0], true);
  for (int i = 1; i < 5; ++i) PutCallSiteRoutine(kCallSites[i], kCallSiteCallees[i], false);
  // The head-removal call: push 0; push ped; call (the callee removes both).
  Put(ga::kHeadRemovalCall - 8, {0x55, 0x8B, 0xEC, 0x6A, 0x00, 0xFF, 0x75, 0x08});
  PutBranch(ga::kHeadRemovalCall, 0xE8, reinterpret_cast<const void*>(&Routines::RemoveHead));
  Put(ga::kHeadRemovalCall + 5, {0x5D, 0xC3});

  const std::pair<uintptr_t, const void*> routines[] = {
      {ga::kFindPlayerPed, reinterpret_cast<const void*>(&Routines::FindPlayerPed)},
      {ga::kAimTargetQuery, reinterpret_cast<const void*>(&Routines::AimTargetQuery)},
      {ga::kIsLineClear, reinterpret_cast<const void*>(&Routines::IsLineClear)},
      {ga::kSkinHierarchy, reinterpret_cast<const void*>(&Routines::SkinHierarchy)},
      {ga::kBoneIndex, reinterpret_cast<const void*>(&Routines::BoneIndex)},
      {ga::kPedBonePosition, reinterpret_cast<const void*>(&Routines::PedBonePosition)},
      {ga::kForEachMesh, reinterpret_cast<const void*>(&Routines::ForEachMesh)},
      {ga::kGeometrySkin, reinterpret_cast<const void*>(&Routines::GeometrySkin)},
      {ga::kSetGeometrySkin, reinterpret_cast<const void*>(&Routines::SetGeometrySkin)},
      {ga::kSkinWeights, reinterpret_cast<const void*>(&Routines::SkinWeights)},
      {ga::kSkinBoneIndices, reinterpret_cast<const void*>(&Routines::SkinBoneIndices)},
      {ga::kSkinInverseBind, reinterpret_cast<const void*>(&Routines::SkinInverseBind)},
      {ga::kFrameMatrix, reinterpret_cast<const void*>(&Routines::FrameMatrix)},
      {ga::kCreateGeometry, reinterpret_cast<const void*>(&Routines::CreateGeometry)},
      {ga::kAppendMaterial, reinterpret_cast<const void*>(&Routines::AppendMaterial)},
      {ga::kFinishGeometry, reinterpret_cast<const void*>(&Routines::FinishGeometry)},
      {ga::kDestroyGeometry, reinterpret_cast<const void*>(&Routines::DestroyGeometry)},
      {ga::kCreateSurface, reinterpret_cast<const void*>(&Routines::CreateSurface)},
      {ga::kDestroySurface, reinterpret_cast<const void*>(&Routines::DestroySurface)},
      {ga::kLockSurface, reinterpret_cast<const void*>(&Routines::LockSurface)},
      {ga::kUnlockSurface, reinterpret_cast<const void*>(&Routines::UnlockSurface)},
      {ga::kCreateTexture, reinterpret_cast<const void*>(&Routines::CreateTexture)},
      {ga::kReleaseTexture, reinterpret_cast<const void*>(&Routines::ReleaseTexture)},
  };
  for (const auto& routine : routines) PutJump(routine.first, routine.second);

  Storage& s = *storage_;
  s.pool.storage = reinterpret_cast<uint8_t*>(s.slots.get());
  s.pool.flags = s.flags;
  s.pool.count = kPoolSlots;
  *At<GamePedPool*>(ga::kPedPoolPointer) = &s.pool;
  std::memset(At<uint8_t>(ga::kExplosionTable), 0, sizeof(GameExplosion) * kExplosionRecords);
  std::memset(At<GameCamera>(ga::kCamera), 0, sizeof(GameCamera));
  *At<uint32_t>(ga::kClock) = 100000;
}

SyntheticGame::~SyntheticGame() {
  *At<GamePedPool*>(ga::kPedPoolPointer) = nullptr;
  current = nullptr;
}

void SyntheticGame::SetProbe(uint32_t word) { std::memcpy(At<uint8_t>(ga::kCodeStart), &word, 4); }

Ped& SyntheticGame::AddPed(Vec3 position, bool dead) {
  Storage& s = *storage_;
  // The procedural humanoid is built in a simulated world and copied into game records.
  SimHost sim;
  PedPlacement placement;
  placement.position = position;
  placement.pose = dead ? PedPose::Lying : PedPose::Standing;
  placement.rootMatrix = !dead;  // both ways the game may hold a pose
  ProceduralPed model = AddProceduralPed(sim, placement);

  s.peds.push_back(std::make_unique<Ped>());
  Ped& ped = *s.peds.back();
  peds.push_back(&ped);

  const SimHierarchy& simHierarchy = *SimHost::Sim(model.hierarchy);
  auto record = std::make_unique<HierarchyRecord>();
  record->boneIds = simHierarchy.boneIds;
  record->matrices = simHierarchy.boneMatrices;
  record->game.flags = simHierarchy.flags;
  record->game.boneCount = simHierarchy.boneCount;
  record->game.boneMatrices = record->matrices.data();
  if (simHierarchy.root) {
    s.matrices.push_back(std::make_unique<HostMatrix>(simHierarchy.root->matrix));
    record->game.root = reinterpret_cast<HostFrame*>(s.matrices.back().get());
  }
  ped.hierarchy = reinterpret_cast<HostHierarchy*>(&record->game);
  s.hierarchies[ped.hierarchy] = std::move(record);

  s.objects.push_back(std::make_unique<RenderObject>());
  RenderObject& object = *s.objects.back();
  object.hierarchy = ped.hierarchy;
  ped.object = reinterpret_cast<HostRenderObject*>(&object);

  std::map<HostMaterial*, HostMaterial*> materials;  // simulated -> game
  for (HostMesh* simMesh : SimHost::Sim(model.object)->meshes) {
    const SimGeometry& sg = *SimHost::Sim(SimHost::Sim(simMesh)->geometry);
    s.geometries.push_back(std::make_unique<GameGeometry>());
    GameGeometry& game = *s.geometries.back();
    HostGeometry* handle = reinterpret_cast<HostGeometry*>(&game);
    GeometryInfo& info = geometries[handle];
    info.triangles = sg.triangles;
    info.texCoords = sg.texCoords;
    info.colours = sg.colours;
    info.positions = sg.positions;
    info.normals = sg.normals;
    for (HostMaterial* simMaterial : sg.materials) {
      HostMaterial*& material = materials[simMaterial];
      if (!material) {
        const SimMaterial& sm = *SimHost::Sim(simMaterial);
        s.surfaces.push_back(std::make_unique<GameSurface>());
        s.textures.push_back(std::make_unique<GameTexture>());
        s.textures.back()->surface = reinterpret_cast<HostSurface*>(s.surfaces.back().get());
        textures[reinterpret_cast<HostTexture*>(s.textures.back().get())];
        s.materials.push_back(std::make_unique<GameMaterial>());
        s.materials.back()->texture = reinterpret_cast<HostTexture*>(s.textures.back().get());
        s.materials.back()->colour = sm.colour;
        material = reinterpret_cast<HostMaterial*>(s.materials.back().get());
      }
      info.materials.push_back(material);
    }
    const SimSkin& simSkin = *SimHost::Sim(sg.skin);
    s.skins.push_back(std::make_unique<SkinRecord>(
        SkinRecord{simSkin.weights, simSkin.boneIndices, simSkin.inverseBind}));
    info.skin = reinterpret_cast<HostSkin*>(s.skins.back().get());
    info.finished = true;

    game.format = sg.format;
    game.vertexCount = sg.vertexCount;
    game.triangleCount = sg.triangleCount;
    game.materials = {info.materials.data(), static_cast<int32_t>(info.materials.size()),
                      static_cast<int32_t>(info.materials.size())};
    game.triangles = info.triangles.data();
    game.texCoords = info.texCoords.empty() ? nullptr : info.texCoords.data();
    game.colours = info.colours.empty() ? nullptr : info.colours.data();
    info.vertexData.parent = handle;
    std::copy(sg.bounds, sg.bounds + 4, info.vertexData.bounds);
    info.vertexData.positions = info.positions.data();
    info.vertexData.normals = info.normals.empty() ? nullptr : info.normals.data();
    game.vertexData = &info.vertexData;

    s.meshes.push_back(std::make_unique<GameMesh>());
    GameMesh& mesh = *s.meshes.back();
    mesh.geometry = handle;
    mesh.render = &Routines::MeshRender;
    object.meshes.push_back(reinterpret_cast<HostMesh*>(&mesh));
    ped.meshes.push_back(reinterpret_cast<HostMesh*>(&mesh));
    ped.geometries.push_back(handle);
  }

  const SimEntity& entity = *SimHost::Sim(model.ped);
  ped.slot = static_cast<int>(std::find(s.flags, s.flags + kPoolSlots, -1) - s.flags);
  GamePed& game = s.slots[ped.slot];
  game = GamePed{};
  game.position = entity.position;
  if (entity.hasMatrix) {
    s.matrices.push_back(std::make_unique<HostMatrix>(entity.matrix));
    game.matrix = s.matrices.back().get();
  }
  game.renderObject = ped.object;
  game.modelIndex = entity.model;
  game.type = 3;
  game.health = entity.health;
  s.flags[ped.slot] = 0;
  ped.game = &game;
  return ped;
}

namespace {

Vec3 Transform(Vec3 p, const HostMatrix& m) {
  return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
          p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
          p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

}  // namespace

std::vector<Vec3> SyntheticGame::PosedPositions(const Ped& ped, size_t mesh) const {
  const GameHierarchy& h = storage_->hierarchies.at(ped.hierarchy)->game;
  const GeometryInfo& info = geometries.at(ped.geometries[mesh]);
  const SkinRecord& skin = *reinterpret_cast<const SkinRecord*>(info.skin);
  const bool root = (h.flags & 0x4000) && h.root;
  std::vector<Vec3> posed;
  for (size_t v = 0; v < info.positions.size(); ++v) {
    Vec3 sum{0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      const float w = skin.weights[v * 4 + k];
      const int bone = (skin.boneIndices[v] >> (8 * k)) & 0xFF;
      if (w <= 0 || bone >= h.boneCount) continue;
      Vec3 p =
          Transform(Transform(info.positions[v], skin.inverseBind[bone]), h.boneMatrices[bone]);
      if (root) p = Transform(p, *reinterpret_cast<const HostMatrix*>(h.root));
      sum = sum + p * w;
    }
    posed.push_back(sum);
  }
  return posed;
}

Vec3 SyntheticGame::BonePosition(const Ped& ped, int32_t boneId) const {
  const HierarchyRecord& record = *storage_->hierarchies.at(ped.hierarchy);
  const GameHierarchy& h = record.game;
  auto id = std::find(record.boneIds.begin(), record.boneIds.end(), boneId);
  const HostMatrix& bone = h.boneMatrices[id - record.boneIds.begin()];
  Vec3 p{bone.m[3][0], bone.m[3][1], bone.m[3][2]};
  if ((h.flags & 0x4000) && h.root) p = Transform(p, *reinterpret_cast<const HostMatrix*>(h.root));
  return p;
}

void SyntheticGame::AimAt(Vec3 target) {
  storage_->aimTarget = target;
  const HostMatrix& m = *player_->matrix;
  const Vec3 eye{m.m[3][0], m.m[3][1], m.m[3][2] + 1.6f};
  GameCamera& camera = *At<GameCamera>(ga::kCamera);
  camera.activeView = 1;
  camera.views[0].eye = eye;
  camera.views[0].direction = {0, 0, 1};  // looks at the sky: a wrong view misses
  camera.views[1].eye = eye;
  camera.views[1].direction = Normalised(target - eye);
}

GameDamage* SyntheticGame::AddDamage(HostEntity* damager, float factor, uint8_t piece,
                                     int32_t weapon) {
  storage_->damages.push_back(std::make_unique<GameDamage>());
  GameDamage* record = storage_->damages.back().get();
  record->damager = damager;
  record->factor = factor;
  record->piece = piece;
  record->weapon = weapon;
  return record;
}

uint32_t SyntheticGame::Clock() const { return *At<uint32_t>(ga::kClock); }
void SyntheticGame::AdvanceClock(uint32_t ms) { *At<uint32_t>(ga::kClock) += ms; }

void SyntheticGame::Damage(GameDamage* record, HostEntity* entity) {
  using Fn = void(GAME_THISCALL*)(GameDamage*, HostEntity*, uint32_t, uint32_t);
  Call<Fn>(ga::kDamageRoutine)(record, entity, 0xA1A1A1A1, 0xA2A2A2A2);
}

uint8_t SyntheticGame::Fire(int32_t weaponCode, const Ped& shooter) {
  storage_->weapons.push_back(std::make_unique<Weapon>(Weapon{weaponCode, {}}));
  using Fn =
      uint8_t(GAME_THISCALL*)(Weapon*, GamePed*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
  return Call<Fn>(ga::kFireRoutine)(storage_->weapons.back().get(), shooter.game, 2, 3, 4, 5, 6);
}

void SyntheticGame::Render(const Ped& ped) {
  using Fn = void(GAME_THISCALL*)(GamePed*);
  Call<Fn>(ga::kPedRender)(ped.game);
}

void* SyntheticGame::Frame() { return Call<void* (*)()>(ga::kFrameCall - 8)(); }

void SyntheticGame::RunFrames(int count) {
  for (int i = 0; i < count; ++i) Frame();
}

void* SyntheticGame::RemovePed(Ped& ped) {
  return Call<void* (*)(GamePed*)>(ga::kPedRemovalCall - 8)(ped.game);
}

void* SyntheticGame::Reset(int site) { return Call<void* (*)()>(kCallSites[2 + site] - 8)(); }

void SyntheticGame::RemoveHead(const Ped& ped) {
  Call<void (*)(GamePed*)>(ga::kHeadRemovalCall - 8)(ped.game);
}

CodeBytes SyntheticGame::ReadCode() {
  CodeBytes code;
  for (int i = 0; i < 3; ++i) std::memcpy(code.hookTargets[i], At<uint8_t>(kHookTargets[i]), 16);
  for (int i = 0; i < 5; ++i) std::memcpy(code.callSites[i], At<uint8_t>(kCallSites[i]), 5);
  std::memcpy(code.headCall, At<uint8_t>(ga::kHeadRemovalCall), 5);
  return code;
}

uintptr_t SyntheticGame::BranchTarget(uintptr_t address) {
  const uint8_t opcode = *At<uint8_t>(address);
  if (opcode != 0xE8 && opcode != 0xE9) return 0;
  int32_t rel;
  std::memcpy(&rel, At<uint8_t>(address + 1), 4);
  return address + 5 + static_cast<uintptr_t>(rel);
}

uintptr_t SyntheticGame::OriginalCallee(int callSite) {
  return reinterpret_cast<uintptr_t>(kCallSiteCallees[callSite]);
}

uintptr_t SyntheticGame::OriginalHeadCallee() {
  return reinterpret_cast<uintptr_t>(&Routines::RemoveHead);
}

bool SyntheticGame::IsBloodTexture(HostTexture* texture) const {
  auto found = textures.find(texture);
  if (found == textures.end() || !found->second.madeBySystem) return false;
  HostSurface* surface = reinterpret_cast<GameTexture*>(texture)->surface;
  auto info = surfaces.find(surface);
  return info != surfaces.end() && info->second.width > 4;
}

int SyntheticGame::LiveBloodTextures() const {
  int live = 0;
  for (const auto& texture : textures) {
    live += IsBloodTexture(texture.first) && texture.second.releases == 0;
  }
  return live;
}

int SyntheticGame::TexturesReleasedTwice() const {
  int twice = 0;
  for (const auto& texture : textures) twice += texture.second.releases > 1;
  return twice;
}

std::vector<HostTexture*> SyntheticGame::TexturesDrawnFor(const Ped& ped) const {
  std::vector<HostTexture*> drawn;
  for (const Draw& draw : draws) {
    if (std::find(ped.meshes.begin(), ped.meshes.end(), draw.mesh) == ped.meshes.end()) continue;
    for (HostTexture* texture : draw.textures) {
      if (!IsBloodTexture(texture)) continue;
      if (std::find(drawn.begin(), drawn.end(), texture) == drawn.end()) drawn.push_back(texture);
    }
  }
  return drawn;
}

}  // namespace synthetic
