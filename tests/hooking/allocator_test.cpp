#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <set>
#include <vector>

#include "hooking/allocator.h"

namespace inline_hook {
namespace {

constexpr size_t kGranule = 0x10000;

// A simulated address space: taken ranges (blocks and other allocations) in a span.
class SimPages : public PageSource {
 public:
  std::map<uintptr_t, size_t> taken;  // base -> size
  std::vector<uintptr_t> reserved;    // addresses the allocator reserved at, in order
  std::vector<uintptr_t> released;
  std::set<uintptr_t> refuse;  // Reserve fails here, as if another thread came first
  uintptr_t lowest = 0x10000;
  uintptr_t highest = 0x7FFEFFFF;

  size_t Granularity() override { return kGranule; }
  uintptr_t LowestAddress() override { return lowest; }
  uintptr_t HighestAddress() override { return highest; }
  bool Query(uintptr_t address, MemoryRegion* region) override {
    auto next = taken.upper_bound(address);
    uintptr_t freeBase = 0;
    if (next != taken.begin()) {
      auto prev = std::prev(next);
      if (address - prev->first < prev->second) {
        *region = {prev->first, prev->second, false};
        return true;
      }
      freeBase = prev->first + prev->second;
    }
    const uintptr_t freeEnd = next == taken.end() ? UINTPTR_MAX : next->first;
    *region = {freeBase, freeEnd - freeBase, true};
    return true;
  }
  uintptr_t Reserve(uintptr_t address, size_t size) override {
    if (address == 0) address = 0x12340000;  // "wherever the platform chooses"
    MemoryRegion region;
    if (refuse.count(address) || address % kGranule || !Query(address, &region) || !region.free ||
        region.base + region.size - address < size) {
      return 0;
    }
    taken[address] = size;
    reserved.push_back(address);
    return address;
  }
  void Release(uintptr_t base) override {
    taken.erase(base);
    released.push_back(base);
  }
};

// A process laid out like the game: its image from 0x400000 to 0xC90000.
SimPages GameLike() {
  SimPages pages;
  pages.taken[0x400000] = 0x890000;
  return pages;
}

TEST(HookingAllocator, FirstFitTakesTheFrontOfTheFirstRangeLargeEnough) {
  SimPages pages = GameLike();
  auto allocator = Allocator::Create(pages);
  const std::vector<uintptr_t> near{0x401000};
  Allocation a = allocator->Allocate(0x20, near);
  Allocation b = allocator->Allocate(0x30, near);
  Allocation c = allocator->Allocate(0x10, near);
  ASSERT_EQ(pages.reserved, (std::vector<uintptr_t>{0x3F0000}));  // highest granule below
  EXPECT_EQ(a.address(), 0x3F0000u);
  EXPECT_EQ(b.address(), 0x3F0020u);
  EXPECT_EQ(c.address(), 0x3F0050u);

  b.Reset();  // free: [0x20, 0x50) and [0x60, end)
  Allocation small = allocator->Allocate(0x10, near);
  EXPECT_EQ(small.address(), 0x3F0020u);
  Allocation large = allocator->Allocate(0x28, near);  // [0x30, 0x50) is too small now
  EXPECT_EQ(large.address(), 0x3F0060u);
  Allocation exact = allocator->Allocate(0x20, near);
  EXPECT_EQ(exact.address(), 0x3F0030u);
  EXPECT_EQ(pages.reserved.size(), 1u);
}

TEST(HookingAllocator, FreedRangesMergeWithTheNeighboursTheyTouch) {
  struct Case {
    const char* name;
    std::vector<int> freeOrder;  // indices of the three 0x100 allocations to free
  };
  const Case cases[] = {
      {"middle last", {0, 2, 1}},
      {"ascending", {0, 1, 2}},
      {"descending", {2, 1, 0}},
      {"last in front of the rest", {1, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimPages pages = GameLike();
    auto allocator = Allocator::Create(pages);
    const std::vector<uintptr_t> near{0x401000};
    std::vector<Allocation> taken;
    for (int i = 0; i < 3; ++i) taken.push_back(allocator->Allocate(0x100, near));
    for (int i : c.freeOrder) taken[i].Reset();
    // Only a fully merged block holds a whole granule again.
    Allocation whole = allocator->Allocate(kGranule, near);
    EXPECT_EQ(whole.address(), 0x3F0000u);
    EXPECT_EQ(pages.reserved.size(), 1u);
  }
}

TEST(HookingAllocator, NewBlocksSearchDownwardsThenUpwards) {
  struct Case {
    const char* name;
    std::map<uintptr_t, size_t> extra;  // taken besides the image
    uintptr_t lowest;
    size_t size;
    std::vector<uintptr_t> near;
    uintptr_t placed;  // 0: nowhere
  };
  const Case cases[] = {
      {"granule right below the image", {}, 0x10000, 0x40, {0x401000}, 0x3F0000},
      {"over a taken range below", {{0x300000, 0x100000}}, 0x10000, 0x40, {0x401000}, 0x2F0000},
      {"past a gap too small for two granules",
       {{0x300000, 0xF0000}, {0x200000, 0xF0000}},
       0x10000,
       0x18000,
       {0x401000},
       0x1E0000},
      {"upwards when nothing is free below",
       {{0x10000, 0x3F0000}},
       0x10000,
       0x40,
       {0x401000},
       0xC90000},
      {"upwards when below the lowest address", {}, 0x400000, 0x40, {0x401000}, 0xC90000},
      {"upwards over a taken range", {{0xC90000, 0x30000}}, 0x400000, 0x40, {0x401000}, 0xCC0000},
      {"anywhere without addresses", {}, 0x10000, 0x40, {}, 0x12340000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimPages pages = GameLike();
    pages.taken.insert(c.extra.begin(), c.extra.end());
    pages.lowest = c.lowest;
    auto allocator = Allocator::Create(pages);
    Allocation a = allocator->Allocate(c.size, c.near);
    EXPECT_EQ(a.address(), c.placed);
    EXPECT_EQ(a.size(), c.placed ? c.size : 0);
  }
}

TEST(HookingAllocator, RefusedReservationTriesTheNextCandidate) {
  SimPages pages = GameLike();
  pages.refuse = {0x3F0000, 0x3E0000};
  auto allocator = Allocator::Create(pages);
  EXPECT_EQ(allocator->Allocate(0x40, {0x401000}).address(), 0x3D0000u);
}

#if UINTPTR_MAX > 0xFFFFFFFFu  // needs room for addresses more than a reach apart
TEST(HookingAllocator, EveryByteWithinReachOfEveryAddress) {
  // Two addresses 0x90000000 apart: only [b - kMaxReach, a + kMaxReach] reaches both.
  const uintptr_t a = uintptr_t(0x100000000);
  const uintptr_t b = a + 0x90000000;
  SimPages pages;
  pages.highest = uintptr_t(0x7FFFFFFF0000);
  pages.taken[a] = 0x10000;
  pages.taken[b] = 0x10000;
  auto allocator = Allocator::Create(pages);
  Allocation first = allocator->Allocate(0x40, {a, b});
  EXPECT_EQ(first.address(), a + 0x10010000);  // lowest granule start >= b - kMaxReach

  // The existing block is out of reach of an address far below: a second block.
  const uintptr_t c = a - 0x70000000;
  pages.taken[c] = 0x10000;
  Allocation second = allocator->Allocate(0x40, {c});
  EXPECT_EQ(second.address(), c - kGranule);
  EXPECT_EQ(pages.reserved.size(), 2u);

  // Nothing reaches addresses more than two reaches apart.
  EXPECT_EQ(allocator->Allocate(0x40, {a, a + 2 * uintptr_t(kMaxReach) + 2}).address(), 0u);
  EXPECT_EQ(pages.reserved.size(), 2u);
}
#endif

TEST(HookingAllocator, EmptyRequests) {
  SimPages pages = GameLike();
  auto allocator = Allocator::Create(pages);
  EXPECT_EQ(allocator->Allocate(0, {0x401000}).address(), 0u);
  EXPECT_TRUE(pages.reserved.empty());
}

TEST(HookingAllocator, SharedAllocatorLivesWhileAllocationsDo) {
  SimPages pages = GameLike();
  Allocation a;
  Allocation b;
  {
    auto shared = Allocator::Shared(pages);
    EXPECT_EQ(Allocator::Shared(pages), shared);
    a = shared->Allocate(0x40, {0x401000});
    b = shared->Allocate(0x40, {0x401000});
  }
  a.Reset();
  EXPECT_TRUE(pages.released.empty());  // b still refers to it
  Allocation moved = std::move(b);
  EXPECT_EQ(b.address(), 0u);
  moved.Reset();
  EXPECT_EQ(pages.released, (std::vector<uintptr_t>{0x3F0000}));
  EXPECT_TRUE(pages.taken.count(0x400000));  // only the block went
  EXPECT_EQ(pages.taken.size(), 1u);
}

}  // namespace
}  // namespace inline_hook
