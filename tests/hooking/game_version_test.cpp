#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "hooking/branch_target.h"
#include "host/game/game_version.h"

namespace {

// A fake host image: the words it holds at fixed addresses; 0 everywhere else.
struct FakeImage {
  std::map<uintptr_t, uint32_t> words;
  std::vector<uintptr_t> reads;

  uint32_t Read(uintptr_t fixed) {
    reads.push_back(fixed);
    auto it = words.find(fixed);
    return it == words.end() ? 0 : it->second;
  }
};

TEST(HookingVersion, ProbesInOrderFirstMatchDecides) {
  struct Case {
    const char* name;
    std::map<uintptr_t, uint32_t> words;
    int version;
    size_t reads;
  };
  const Case cases[] = {
      {"55 8B EC 53 wins over a later probe",
       {{0x401000, 0x53EC8B55}, {0x8252FC, 0x94BF}},
       1001,
       1},
      {"jump at the code start", {{0x401000, 0x16197BE9}}, 1002, 2},
      {"0x94BF at 0x8245BC", {{0x8245BC, 0x94BF}}, 1011, 3},
      {"0x94BF at 0x8252FC", {{0x8252FC, 0x94BF}}, 1101, 4},
      {"0x94BF at 0x82533C", {{0x82533C, 0x94BF}}, 1111, 5},
      {"0x3539F633 at 0x858D51", {{0x858D51, 0x3539F633}}, 3200, 6},
      {"0x3539F633 at 0x858C61", {{0x858C61, 0x3539F633}}, 3210, 7},
      {"earlier 0x94BF probe wins", {{0x82533C, 0x94BF}, {0x8245BC, 0x94BF}}, 1011, 3},
      {"first bytes off by one", {{0x401000, 0x53EC8B56}}, 0, 7},
      {"word at the wrong probe", {{0x858C61, 0x94BF}}, 0, 7},
      {"nothing", {}, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeImage image{c.words, {}};
    EXPECT_EQ(DetectGameVersion([&](uintptr_t fixed) { return image.Read(fixed); }), c.version);
    EXPECT_EQ(image.reads.size(), c.reads);
  }
}

TEST(HookingVersion, Rebase) {
  EXPECT_EQ(RebaseFrom(0x400000, 0x5E880C), 0x5E880Cu);
  EXPECT_EQ(RebaseFrom(0x10000000, 0x5E880C), 0x101E880Cu);
  EXPECT_EQ(RebaseFrom(0x300000, 0x401000), 0x301000u);
  EXPECT_EQ(uint32_t(RebaseFrom(0x400000, 0)), 0u);
}

TEST(HookingBranchTarget, Forms) {
  auto pointee = [](uint32_t pointer) { return pointer == 0x00C0FFEE ? 0x7D0000u : 0u; };
  struct Case {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t address;
    uint32_t target;
  };
  const Case cases[] = {
      {"call forward", {0xE8, 0x10, 0x00, 0x00, 0x00}, 0x401000, 0x401015},
      {"jmp backward", {0xE9, 0xF6, 0xFF, 0xFF, 0xFF}, 0x401000, 0x400FFB},
      {"call wrapping the address space", {0xE8, 0x00, 0x00, 0x00, 0x80}, 0x80000000, 0x5},
      {"call through a pointer reads the pointer",
       {0xFF, 0x15, 0xEE, 0xFF, 0xC0, 0x00},
       0x401000,
       0x7D0000},
      {"jmp through a pointer", {0xFF, 0x25, 0xEE, 0xFF, 0xC0, 0x00}, 0x401000, 0x7D0000},
      {"call through another register form", {0xFF, 0x10, 0xEE, 0xFF, 0xC0, 0x00}, 0x401000, 0},
      {"short jump", {0xEB, 0x05, 0x90, 0x90, 0x90}, 0x401000, 0},
      {"call cut short", {0xE8, 0x10, 0x00, 0x00}, 0x401000, 0},
      {"pointer call cut short", {0xFF, 0x15, 0xEE, 0xFF, 0xC0}, 0x401000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(memory::DecodeBranchTarget(c.code.data(), c.code.size(), c.address, pointee),
              c.target);
    // And back: the bytes that lead from the address to the target.
    if (c.target != 0 && c.code[0] != 0xFF) {
      const auto branch = memory::RelativeBranch(c.code[0], c.address, c.target);
      EXPECT_EQ(std::vector<uint8_t>(branch.begin(), branch.end()), c.code);
    }
  }
}

}  // namespace
