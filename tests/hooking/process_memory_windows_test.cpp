#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "hooking/branch_target.h"
#include "hooking/process_memory.h"
#include "host/game/game_patches.h"
#include "host/game/game_version.h"
#include "test_code_windows.h"

namespace memory {
namespace {

template <typename T>
uintptr_t At(T* code) {
  return reinterpret_cast<uintptr_t>(code);
}

DWORD ProtectionAt(uintptr_t address) {
  MEMORY_BASIC_INFORMATION info;
  VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof(info));
  return info.Protect;
}

uintptr_t Seventy() { return 70; }

TEST(HookingMemory, BranchTargets) {
  vt_plain_target = 0x11223344;
  vt_indirect_pointer = 0x55667788;
  struct Case {
    const char* name;
    uintptr_t address;
    uintptr_t target;
  };
  const Case cases[] = {
      {"E8", At(vt_plain_site), At(vt_plain_callee)},
      {"E8 to another callee", At(vt_member_site), At(vt_member_callee)},
      {"FF 15 reads through its pointer", At(vt_indirect_site), 0x55667788},
      {"FF 25 reads through its pointer", At(vt_plain_callee), 0x11223344},
      {"no branch", At(vt_jecxz), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(BranchTarget(c.address), c.target) << c.name;
}

TEST(HookingMemory, MakeCallRewritesUnderLiftedProtection) {
  vt_plain_target = reinterpret_cast<uintptr_t>(&Seventy);
  const uintptr_t site = At(vt_rewritable);
  const DWORD protection = ProtectionAt(site);
  const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(site),
                                    reinterpret_cast<uint8_t*>(site) + 6);
  EXPECT_EQ(vt_rewritable(), 70u);
  EXPECT_EQ(MakeCall(site, At(&Seventy)), At(vt_plain_callee));
  EXPECT_EQ(BranchTarget(site), At(&Seventy));
  EXPECT_EQ(vt_rewritable(), 70u);
  EXPECT_EQ(ProtectionAt(site), protection);
  EXPECT_EQ(MakeCall(site, At(vt_plain_callee)), At(&Seventy));
  EXPECT_EQ(
      std::vector<uint8_t>(reinterpret_cast<uint8_t*>(site), reinterpret_cast<uint8_t*>(site) + 6),
      before);
}

TEST(HookingMemory, WritesOnlyWhereMemoryIsThere) {
  uint8_t* page =
      static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE, PAGE_READWRITE));
  ASSERT_TRUE(VirtualAlloc(page, 4096, MEM_COMMIT, PAGE_READONLY));
  const uint8_t bytes[4] = {1, 2, 3, 4};
  const uintptr_t committed = At(page);
  const uintptr_t reserved = At(page + 4096);

  EXPECT_FALSE(WriteBytes(committed, bytes, 4, false));  // read-only, not lifted
  EXPECT_EQ(page[0], 0);
  EXPECT_FALSE(WriteBytes(reserved, bytes, 4, true));
  EXPECT_FALSE(WriteCode(reserved, bytes, 4));
  EXPECT_FALSE(WriteBytes(committed + 4094, bytes, 4, true));  // runs into reserved memory
  EXPECT_EQ(ReadWord(reserved), 0u);
  uint32_t word = 7;
  EXPECT_FALSE(ReadBytes(committed + 4094, &word, 4, true));
  EXPECT_EQ(word, 7u);

  EXPECT_TRUE(WriteBytes(committed, bytes, 4, true));
  EXPECT_EQ(ReadWord(committed), 0x04030201u);
  EXPECT_EQ(ProtectionAt(committed), DWORD(PAGE_READONLY));
  DWORD old;
  ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_NOACCESS, &old));
  EXPECT_EQ(ReadWord(committed), 0x04030201u);  // lifted for the read
  EXPECT_EQ(ProtectionAt(committed), DWORD(PAGE_NOACCESS));
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST(HookingMemory, SavedBytesRestoreTheEarlierBackupFirst) {
  uint8_t* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ));
  const uint8_t original[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_TRUE(WriteCode(At(page), original, 16));
  const uint8_t junk[5] = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC};

  SavedBytes saved;
  SaveBytes(&saved, At(page), 5);
  EXPECT_TRUE(saved.present);
  EXPECT_EQ(saved.count, 5u);
  WriteCode(At(page), junk, 5);
  SaveBytes(&saved, At(page) + 8, 3);  // puts the first backup back before saving
  EXPECT_EQ(memcmp(page, original, 8), 0);
  WriteCode(At(page) + 8, junk, 3);
  RestoreBytes(&saved);
  EXPECT_FALSE(saved.present);
  EXPECT_EQ(memcmp(page, original, 16), 0);
  WriteCode(At(page) + 8, junk, 3);
  RestoreBytes(&saved);  // no backup: nothing written
  EXPECT_EQ(page[8], 0xCC);
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST(HookingVersion, ProbesOnAFakeImageInMemory) {
  // A fake image at some base: the probed pages committed, made unreadable so each read
  // has to lift the protection; the other probes fall in memory that is not committed.
  const uintptr_t span = 0x860000 - game_address::kFixedImageBase;
  uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, span, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  auto put = [&](uintptr_t fixed, uint32_t word) {
    const uintptr_t address = RebaseFrom(At(base), fixed);
    ASSERT_TRUE(VirtualAlloc(reinterpret_cast<void*>(address), 8, MEM_COMMIT, PAGE_READWRITE));
    StoreWord(reinterpret_cast<uint8_t*>(address), word);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(address), 4, PAGE_NOACCESS, &old));
  };
  auto read = [&](uintptr_t fixed) { return ReadWord(RebaseFrom(At(base), fixed)); };

  put(0x8252FC, 0x94BF);
  EXPECT_EQ(DetectGameVersion(read), 1101);
  put(0x401000, 0x53EC8B55);
  EXPECT_EQ(DetectGameVersion(read), 1001);
  EXPECT_EQ(ProtectionAt(RebaseFrom(At(base), 0x401000)), DWORD(PAGE_NOACCESS));
  put(0x401000, 0x53EC8B54);
  EXPECT_EQ(DetectGameVersion(read), 1101);
  VirtualFree(base, 0, MEM_RELEASE);
}

TEST(HookingVersion, ThisProgramAsTheHost) {
  EXPECT_EQ(HostImageBase(), reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)));
  EXPECT_EQ(HostImageBase(), game_address::kFixedImageBase);  // linked at 0x400000, not relocated
  EXPECT_EQ(Rebase(0x5E880C), 0x5E880Cu);
  EXPECT_EQ(ReadHostWord(0x400000), 0x00905A4Du);  // "MZ" and the next two bytes
  EXPECT_EQ(GameVersion(), DetectGameVersion(ReadHostWord));
  EXPECT_NE(GameVersion(), 1001);
  EXPECT_NE(GameVersion(), 1002);
}

}  // namespace
}  // namespace memory
