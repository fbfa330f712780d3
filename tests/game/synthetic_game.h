// A synthetic game process: this test program's image sits where the game's does, and
// SyntheticGame lays a small game world out in the game's records at the game's fixed
// addresses, with the game's routines there (x86 code that jumps to the implementations
// in synthetic_game.cpp) and the call sites the system patches. The system sees it as
// the game: Vermiltrace.asi is loaded into it with LoadLibraryA.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "host/game/game_addresses.h"
#include "host/game/game_layout.h"

namespace synthetic {

// A draw made through a mesh's render callback.
struct Draw {
  HostMesh* mesh;
  HostGeometry* geometry;  // bound at the moment of the draw
  std::vector<HostTexture*> textures;
  std::vector<uint32_t> colours;
};

// A skinned humanoid in the game's records.
struct Ped {
  GamePed* game = nullptr;
  HostRenderObject* object = nullptr;
  HostHierarchy* hierarchy = nullptr;
  std::vector<HostMesh*> meshes;
  std::vector<HostGeometry*> geometries;  // parallel to meshes
  int slot = -1;
};

// The bytes of every place in the game's code that the system may patch.
struct CodeBytes {
  uint8_t hookTargets[3][16];
  uint8_t callSites[5][5];
  uint8_t headCall[5];
  bool operator==(const CodeBytes& other) const;
};

struct SurfaceInfo {
  int32_t width = 0, height = 0, depth = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> pixels;
  bool locked = false;
  int lockMode = -1;
  bool destroyed = false;
};

struct TextureInfo {
  bool madeBySystem = false;  // through the texture constructor
  int releases = 0;
};

struct GeometryInfo {
  HostSkin* skin = nullptr;
  bool madeBySystem = false;  // through the geometry constructor
  bool finished = false;
  bool destroyed = false;
  std::vector<HostTriangle> triangles;
  std::vector<TexCoord> texCoords;
  std::vector<uint32_t> colours;
  std::vector<Vec3> positions;
  std::vector<Vec3> normals;
  std::vector<HostMaterial*> materials;
  GameVertexData vertexData{};
};

// Calls the code at address with ecx and count 4-byte stack arguments, the stack pointer
// at its entry equal to offset modulo 16 (offset a multiple of 4). The callee may remove
// its arguments or leave them; returns eax.
uint32_t CallWithStackAt(uintptr_t address, uint32_t ecx, const uint32_t* args, uint32_t count,
                         uint32_t offset) asm("vt_call_with_stack_at");

class SyntheticGame {
 public:
  // Writes the game's code and data into the image: routines, call sites, the version
  // probe of the 1001 build, an empty ped pool of four slots, the camera and the clock.
  SyntheticGame();
  ~SyntheticGame();
  SyntheticGame(const SyntheticGame&) = delete;
  SyntheticGame& operator=(const SyntheticGame&) = delete;

  // --- Building the world.
  // A procedural humanoid standing (or lying dead) at position, facing +y, in the pool.
  Ped& AddPed(Vec3 position, bool dead);
  void SetPlayer(const Ped& ped) { player_ = ped.game; }
  // Points the camera's aim from the player's eye straight at target.
  void AimAt(Vec3 target);
  // Overwrites the four bytes of the version probe at the code's start.
  static void SetProbe(uint32_t word);

  // --- What the game does.
  void Damage(GameDamage* record, HostEntity* entity);   // damage routine 0x4B5AC0
  uint8_t Fire(int32_t weaponCode, const Ped& shooter);  // fire routine 0x742300
  void Render(const Ped& ped);                           // ped render 0x5E7680
  void* Frame();                                         // the routine holding call site 0x53E981
  void RunFrames(int count);                             // Frame() count times
  void* RemovePed(Ped& ped);                             // the routine holding call site 0x5E880C
  void* Reset(int site);                                 // 0: 0x748CFB, 1: 0x748E09, 2: 0x748E48
  void RemoveHead(const Ped& ped);  // the routine holding the head-removal call 0x4B3A49

  // --- What the game saw.
  static CodeBytes ReadCode();
  // The destination of the E8/E9 instruction at address, or 0.
  static uintptr_t BranchTarget(uintptr_t address);
  // The hook target's own routine and the callees the call sites had before patching.
  static uintptr_t OriginalCallee(int callSite);
  static uintptr_t OriginalHeadCallee();

  // World positions of the vertices of the ped's mesh as the game poses them, and of a bone.
  std::vector<Vec3> PosedPositions(const Ped& ped, size_t mesh) const;
  Vec3 BonePosition(const Ped& ped, int32_t boneId) const;
  // The segment the last aim-target query handed out.
  Vec3 lastAimStart{0, 0, 0}, lastAimEnd{0, 0, 0};

  GameDamage* AddDamage(HostEntity* damager, float factor, uint8_t piece, int32_t weapon);
  uint32_t Clock() const;
  void AdvanceClock(uint32_t ms);

  // Where the stack pointer stands, modulo 16, at the entry of the callbacks the system
  // hands to the game's mesh iteration (the game keeps only 4-byte alignment).
  uint32_t callbackStackOffset = 12;

  std::vector<Draw> draws;
  int damageCalls = 0, fireCalls = 0, renderCalls = 0, removeCalls = 0, frameCalls = 0;
  int resetCalls[3] = {};
  int headRemovals = 0;
  uint8_t fireResult = 1;
  bool aimQueryMisses = false;  // the aim-target query aims 3 m above the point aimed at
  uint32_t lastDamageArgs[2] = {};
  uint32_t lastFireArgs[5] = {};
  bool removedPedHadTextures = false;  // at the game's own removal, blood not yet dropped
  // Arguments the system passed that the game checks.
  int badPlayerLookups = 0, badLineTests = 0, badBoneQueries = 0, badLocks = 0;

  std::map<HostSurface*, SurfaceInfo> surfaces;
  std::map<HostTexture*, TextureInfo> textures;
  std::map<HostGeometry*, GeometryInfo> geometries;
  std::vector<Ped*> peds;

  // Blood textures: made by the system through the texture constructor for its masks (the
  // 4 x 4 blank texture it keeps for the life of the process is not one).
  bool IsBloodTexture(HostTexture* texture) const;
  int LiveBloodTextures() const;
  int TexturesReleasedTwice() const;
  // Blood textures drawn for a mesh of ped.
  std::vector<HostTexture*> TexturesDrawnFor(const Ped& ped) const;

  // The game's routines reach the world through this.
  static SyntheticGame* current;

 private:
  struct Storage;
  std::unique_ptr<Storage> storage_;
  GamePed* player_ = nullptr;
  friend struct Routines;
};

}  // namespace synthetic
