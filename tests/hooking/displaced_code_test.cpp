// Golden trampolines: host bytes in, trampoline and target bytes out. The expected bytes
// were worked out by hand (rel32 = destination - end of the instruction, mod 2^32); when a
// layout change is intended, recompute them the same way, never from this code's output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hooking/displaced_code.h"

namespace inline_hook {
namespace {

constexpr uint32_t kTarget = 0x401000;
constexpr uint32_t kTrampoline = 0x500000;
constexpr uint32_t kDestination = 0x600000;

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

struct Golden {
  const char* name;
  const char* code;  // at kTarget
  uint32_t displaced;
  const char* trampoline;
  const char* patch;
};

const Golden kGolden[] = {
    {"five one-byte instructions", "55 53 56 57 90 C3", 5,
     "55 53 56 57 90 E9 FB 0F F0 FF E9 F1 FF 0F 00", "E9 05 F0 0F 00"},
    {"3-byte then 4-byte", "83 EC 04 8B 44 24 08 C3", 7,
     "83 EC 04 8B 44 24 08 E9 FB 0F F0 FF E9 EF FF 0F 00", "E9 07 F0 0F 00 90 90"},
    {"jz rel8 past the displaced bytes", "85 C9 74 05 8D 41 01 C3 90 B8", 7,
     "85 C9 0F 84 01 10 F0 FF 8D 41 01 E9 F7 0F F0 FF E9 EB FF 0F 00", "E9 0B F0 0F 00 90 90"},
    {"jmp rel8", "EB 10 90 90 90 90", 5, "E9 0D 10 F0 FF 90 90 90 E9 F8 0F F0 FF E9 EE FF 0F 00",
     "E9 08 F0 0F 00"},
    {"call rel32", "E8 FB 0F 00 00 C3", 5, "E8 FB 1F F0 FF E9 FB 0F F0 FF E9 F1 FF 0F 00",
     "E9 05 F0 0F 00"},
    {"jnz rel8 back into the displaced bytes", "31 C0 40 49 75 FC C3", 6,
     "31 C0 40 49 0F 85 F8 FF FF FF E9 F7 0F F0 FF E9 EC FF 0F 00", "E9 0A F0 0F 00 90"},
    {"jz rel8 in front of the target", "85 C9 74 F6 8D 41 01 C3", 7,
     "85 C9 0F 84 F2 0F F0 FF 8D 41 01 E9 F7 0F F0 FF E9 EB FF 0F 00", "E9 0B F0 0F 00 90 90"},
    {"jz rel32", "0F 84 00 01 00 00 C3", 6, "0F 84 00 11 F0 FF E9 FB 0F F0 FF E9 F0 FF 0F 00",
     "E9 06 F0 0F 00 90"},
    {"prefixed jz rel8", "3E 74 05 90 90 C3", 5,
     "3E 0F 84 01 10 F0 FF 90 90 E9 F7 0F F0 FF E9 ED FF 0F 00", "E9 09 F0 0F 00"},
    {"jmp rel8 to the target itself", "EB FE 90 90 90 C3", 5,
     "E9 FB FF FF FF 90 90 90 E9 F8 0F F0 FF E9 EE FF 0F 00", "E9 08 F0 0F 00"},
};

TEST(HookingDisplacedCode, GoldenTrampolines) {
  for (const Golden& golden : kGolden) {
    SCOPED_TRACE(golden.name);
    const std::vector<uint8_t> code = Bytes(golden.code);
    DisplacedCode displaced;
    ASSERT_EQ(MeasureDisplacedCode(code.data(), code.size(), kTarget, &displaced),
              DisplaceError::None);
    EXPECT_EQ(displaced.displacedSize, golden.displaced);
    const std::vector<uint8_t> trampoline =
        BuildTrampoline(displaced, code.data(), kTrampoline, kDestination);
    EXPECT_EQ(trampoline, Bytes(golden.trampoline));
    EXPECT_EQ(displaced.trampolineSize, trampoline.size());
    EXPECT_EQ(BuildTargetPatch(displaced, kTrampoline), Bytes(golden.patch));
  }
}

TEST(HookingDisplacedCode, Failures) {
  struct Case {
    const char* name;
    const char* code;
    size_t available;  // 0: all of code
    DisplaceError error;
  };
  const Case cases[] = {
      {"four bytes readable", "90 90 90 90", 0, DisplaceError::TooFewBytes},
      {"instruction cut off by the readable end", "81 C1 00 00 00 01", 5,
       DisplaceError::DecodeFailed},
      {"invalid opcode", "FF FF 90 90 90", 0, DisplaceError::DecodeFailed},
      {"jecxz", "E3 05 90 90 90", 0, DisplaceError::UnsupportedRelative},
      {"loop", "E2 FE 90 90 90", 0, DisplaceError::UnsupportedRelative},
      {"16-bit jmp rel16", "66 E9 10 00 90 90", 0, DisplaceError::UnsupportedRelative},
      {"16-bit jmp rel8", "66 EB 10 90 90 90", 0, DisplaceError::UnsupportedRelative},
      {"jmp rel8 into the middle of mov", "EB 01 B8 00 00 00 00", 0,
       DisplaceError::BranchIntoInstruction},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> code = Bytes(c.code);
    DisplacedCode displaced;
    displaced.displacedSize = 99;  // untouched on failure
    EXPECT_EQ(MeasureDisplacedCode(code.data(), c.available ? c.available : code.size(), kTarget,
                                   &displaced),
              c.error);
    EXPECT_EQ(displaced.displacedSize, 99u);
  }
}

TEST(HookingDisplacedCode, ReachAddressesListTargetThenBranchTargets) {
  const std::vector<uint8_t> code = Bytes("85 C9 74 05 E8 FB 0F 00 00");
  DisplacedCode displaced;
  ASSERT_EQ(MeasureDisplacedCode(code.data(), code.size(), kTarget, &displaced),
            DisplaceError::None);
  EXPECT_EQ(ReachAddresses(displaced), (std::vector<uint32_t>{kTarget, kTarget + 9, 0x402004}));
}

TEST(HookingDisplacedCode, InstructionPointerMoves) {
  // 85 C9 | 74 05 | 8D 41 01: relocated at 0, 2 and 8; jump back at 11, onward jump at 16.
  const std::vector<uint8_t> code = Bytes("85 C9 74 05 8D 41 01 C3");
  DisplacedCode displaced;
  ASSERT_EQ(MeasureDisplacedCode(code.data(), code.size(), kTarget, &displaced),
            DisplaceError::None);
  struct Case {
    uint32_t eip;
    IpMove into;
    uint32_t intoAt;
    IpMove outOf;
    uint32_t outOfAt;
  };
  const Case cases[] = {
      {kTarget, IpMove::Move, kTrampoline, IpMove::Keep, 0},
      {kTarget + 1, IpMove::Unmappable, 0, IpMove::Keep, 0},
      {kTarget + 2, IpMove::Move, kTrampoline + 2, IpMove::Keep, 0},
      {kTarget + 4, IpMove::Move, kTrampoline + 8, IpMove::Keep, 0},
      {kTarget + 5, IpMove::Unmappable, 0, IpMove::Move, kTarget + 7},  // on the 0x90 fill
      {kTarget + 6, IpMove::Unmappable, 0, IpMove::Move, kTarget + 7},
      {kTarget + 7, IpMove::Keep, 0, IpMove::Keep, 0},
      {kTarget - 1, IpMove::Keep, 0, IpMove::Keep, 0},
      {kTrampoline, IpMove::Keep, 0, IpMove::Move, kTarget},
      {kTrampoline + 2, IpMove::Keep, 0, IpMove::Move, kTarget + 2},
      {kTrampoline + 3, IpMove::Keep, 0, IpMove::Keep, 0},
      {kTrampoline + 8, IpMove::Keep, 0, IpMove::Move, kTarget + 4},
      {kTrampoline + 11, IpMove::Keep, 0, IpMove::Move, kTarget + 7},
      {kTrampoline + 16, IpMove::Keep, 0, IpMove::Move, kTarget},  // never into the destination
      {kTrampoline + 21, IpMove::Keep, 0, IpMove::Keep, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.eip);
    uint32_t moved = 0;
    EXPECT_EQ(MoveIntoTrampoline(displaced, kTrampoline, c.eip, &moved), c.into);
    EXPECT_EQ(moved, c.intoAt);
    moved = 0;
    EXPECT_EQ(MoveOutOfTrampoline(displaced, kTrampoline, c.eip, &moved), c.outOf);
    EXPECT_EQ(moved, c.outOfAt);
  }
}

}  // namespace
}  // namespace inline_hook
