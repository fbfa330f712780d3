// Fixed addresses of the game's code and data in the 1.0 US executable, laid out for an
// image based at kFixedImageBase. Addresses marked "rebased" move with the image
// (Rebase); the others are used as written.
#pragma once

#include <cstdint>

namespace game_address {

constexpr uintptr_t kFixedImageBase = 0x400000;
// The code section's first bytes, where version detection tells the two 1.0 US builds apart.
constexpr uintptr_t kCodeStart = 0x401000;

// Routines the system hooks or patches.
constexpr uintptr_t kDamageRoutine = 0x4B5AC0;
constexpr uintptr_t kFireRoutine = 0x742300;
constexpr uintptr_t kPedRender = 0x5E7680;
constexpr uintptr_t kHeadRemovalCall = 0x4B3A49;

// Call sites of the events (rebased).
constexpr uintptr_t kPedRemovalCall = 0x5E880C;
constexpr uintptr_t kFrameCall = 0x53E981;
constexpr uintptr_t kFirstResetCall = 0x748CFB;
constexpr uintptr_t kSecondResetCallA = 0x748E09;
constexpr uintptr_t kSecondResetCallB = 0x748E48;

// Routines the system calls.
constexpr uintptr_t kFindPlayerPed = 0x56E210;
constexpr uintptr_t kAimTargetQuery = 0x514970;  // rebased
constexpr uintptr_t kIsLineClear = 0x56A490;
constexpr uintptr_t kSkinHierarchy = 0x734A40;
constexpr uintptr_t kBoneIndex = 0x7C51A0;
constexpr uintptr_t kPedBonePosition = 0x5E4280;
constexpr uintptr_t kForEachMesh = 0x749B70;
constexpr uintptr_t kGeometrySkin = 0x7C7550;
constexpr uintptr_t kSetGeometrySkin = 0x7C7560;
constexpr uintptr_t kSkinWeights = 0x7C77F0;
constexpr uintptr_t kSkinBoneIndices = 0x7C7800;
constexpr uintptr_t kSkinInverseBind = 0x7C7810;
constexpr uintptr_t kFrameMatrix = 0x7F0990;
constexpr uintptr_t kCreateGeometry = 0x74CA90;
constexpr uintptr_t kAppendMaterial = 0x74E350;
constexpr uintptr_t kFinishGeometry = 0x74C800;
constexpr uintptr_t kDestroyGeometry = 0x74CCC0;
constexpr uintptr_t kCreateSurface = 0x7FB230;
constexpr uintptr_t kDestroySurface = 0x7FB020;
constexpr uintptr_t kLockSurface = 0x7FB2D0;
constexpr uintptr_t kUnlockSurface = 0x7FAEC0;
constexpr uintptr_t kCreateTexture = 0x7F37C0;
constexpr uintptr_t kReleaseTexture = 0x7F3820;

// Data.
constexpr uintptr_t kPedPoolPointer = 0xB74490;
constexpr uintptr_t kClock = 0xB7CB84;
constexpr uintptr_t kExplosionTable = 0xC88950;
constexpr uintptr_t kCamera = 0xB6F028;  // rebased

}  // namespace game_address
