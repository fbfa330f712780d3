#include "hooking/allocator.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace inline_hook {
namespace {

constexpr uintptr_t kAddressMax = std::numeric_limits<uintptr_t>::max();

// Bounds [low, high] that keep every byte within kMaxReach of each address of near.
struct ReachBounds {
  uintptr_t low = 0;
  uintptr_t high = kAddressMax;

  explicit ReachBounds(const std::vector<uintptr_t>& near) {
    for (uintptr_t address : near) {
      low = std::max(low, address > kMaxReach ? address - kMaxReach : 0);
      high = std::min(high, address < kAddressMax - kMaxReach ? address + kMaxReach : kAddressMax);
    }
  }
  bool Holds(uintptr_t start, size_t size) const {
    return start >= low && start <= high && size - 1 <= high - start;
  }
};

uintptr_t RoundDown(uintptr_t value, size_t unit) { return value - value % unit; }

}  // namespace

Allocation::Allocation(std::shared_ptr<Allocator> allocator, uintptr_t address, size_t size)
    : allocator_(std::move(allocator)), address_(address), size_(size) {}

Allocation::Allocation(Allocation&& other) noexcept { *this = std::move(other); }

Allocation& Allocation::operator=(Allocation&& other) noexcept {
  if (this != &other) {
    Reset();
    allocator_ = std::move(other.allocator_);
    address_ = other.address_;
    size_ = other.size_;
    other.address_ = 0;
    other.size_ = 0;
  }
  return *this;
}

Allocation::~Allocation() { Reset(); }

void Allocation::Reset() {
  if (allocator_ && size_ != 0) allocator_->Free(address_, size_);
  allocator_.reset();  // the last reference destroys the allocator
  address_ = 0;
  size_ = 0;
}

std::shared_ptr<Allocator> Allocator::Create(PageSource& source) {
  return std::shared_ptr<Allocator>(new Allocator(source));
}

std::shared_ptr<Allocator> Allocator::Shared(PageSource& source) {
  static std::mutex mutex;
  static std::weak_ptr<Allocator> shared;
  std::lock_guard<std::mutex> hold(mutex);
  std::shared_ptr<Allocator> allocator = shared.lock();
  if (!allocator) {
    allocator = Create(source);
    shared = allocator;
  }
  return allocator;
}

Allocator::~Allocator() {
  for (const Block& block : blocks_) source_.Release(block.base);
}

Allocation Allocator::Allocate(size_t size, const std::vector<uintptr_t>& near) {
  if (size == 0) return Allocation();
  const ReachBounds bounds(near);
  std::lock_guard<std::mutex> hold(mutex_);
  for (Block& block : blocks_) {
    for (auto range = block.free.begin(); range != block.free.end(); ++range) {
      if (range->size < size || !bounds.Holds(range->address, size)) continue;
      const uintptr_t address = range->address;
      range->address += size;
      range->size -= size;
      if (range->size == 0) block.free.erase(range);
      return Allocation(shared_from_this(), address, size);
    }
  }

  const size_t granularity = source_.Granularity();
  if (granularity == 0 || size > kAddressMax - granularity) return Allocation();
  const size_t blockSize = (size + granularity - 1) / granularity * granularity;
  const uintptr_t base = ReserveNear(size, blockSize, near);
  if (base == 0) return Allocation();
  Block block{base, blockSize, {}};
  if (blockSize > size) block.free.push_back({base + size, blockSize - size});
  blocks_.push_back(std::move(block));
  return Allocation(shared_from_this(), base, size);
}

uintptr_t Allocator::ReserveNear(size_t size, size_t blockSize,
                                 const std::vector<uintptr_t>& near) {
  if (near.empty()) return source_.Reserve(0, blockSize);
  const ReachBounds reach(near);
  const size_t granularity = source_.Granularity();
  const uintptr_t lowest = std::max(source_.LowestAddress(), reach.low);
  const uintptr_t highest = source_.HighestAddress();

  // A candidate fits when the free region runs blockSize bytes from it, inside the
  // application range, and the allocation at its front is within reach.
  auto tryAt = [&](uintptr_t candidate, const MemoryRegion& region) -> uintptr_t {
    if (!region.free || candidate < region.base || candidate < lowest) return 0;
    const uintptr_t regionLast = region.base + (region.size - 1);
    if (blockSize - 1 > highest - candidate || blockSize - 1 > regionLast - candidate ||
        !reach.Holds(candidate, size)) {
      return 0;
    }
    return source_.Reserve(candidate, blockSize);
  };

  // Downwards from near[0] (or the highest start still in reach), then upwards from it (or
  // the lowest start in reach); free regions are tried granule by granule.
  MemoryRegion region;
  const uintptr_t topStart = reach.high - reach.low >= size - 1 ? reach.high - (size - 1) : 0;
  uintptr_t candidate = RoundDown(std::min(near[0], topStart), granularity);
  while (candidate >= lowest && source_.Query(candidate, &region) && region.size != 0) {
    if (const uintptr_t base = tryAt(candidate, region)) return base;
    // Below an allocation, the next granule that can be free starts under its base.
    const uintptr_t below =
        region.free ? candidate : std::min(candidate, RoundDown(region.base, granularity));
    if (below < granularity) break;
    candidate = below - granularity;
  }

  const uintptr_t bottomStart = std::max(near[0], lowest);
  candidate = RoundDown(bottomStart, granularity);
  if (candidate != bottomStart) {
    if (candidate > kAddressMax - granularity) return 0;
    candidate += granularity;
  }
  while (candidate <= highest && candidate <= reach.high && source_.Query(candidate, &region) &&
         region.size != 0) {
    if (const uintptr_t base = tryAt(candidate, region)) return base;
    const uintptr_t regionLast = region.base + (region.size - 1);
    uintptr_t next = candidate + granularity;
    // Past an allocation, or a free region too short for the block from here on.
    if (!region.free || blockSize - 1 > regionLast - candidate) {
      if (regionLast > kAddressMax - granularity) break;
      next = RoundDown(regionLast, granularity) + granularity;
    }
    if (next <= candidate) break;
    candidate = next;
  }
  return 0;
}

void Allocator::Free(uintptr_t address, size_t size) {
  std::lock_guard<std::mutex> hold(mutex_);
  for (Block& block : blocks_) {
    if (address < block.base || address - block.base >= block.size) continue;
    std::vector<Range>& free = block.free;
    auto next = std::lower_bound(free.begin(), free.end(), address,
                                 [](const Range& r, uintptr_t a) { return r.address < a; });
    assert((next == free.end() || address + size <= next->address) && "range freed twice");
    next = free.insert(next, {address, size});
    auto after = next + 1;
    if (after != free.end() && next->address + next->size == after->address) {
      next->size += after->size;
      free.erase(after);
    }
    if (next != free.begin()) {
      auto before = next - 1;
      if (before->address + before->size == next->address) {
        before->size += next->size;
        free.erase(next);
      }
    }
    return;
  }
}

}  // namespace inline_hook
