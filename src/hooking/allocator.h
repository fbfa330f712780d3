// Executable memory for trampolines, placed within rel32 reach of the code they jump to.
// Blocks are reserved from a PageSource (the platform's address space, or a simulated one
// in tests) and handed out first-fit from per-block free lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace inline_hook {

// Largest distance a rel32 field bridges.
constexpr uintptr_t kMaxReach = 0x7FFFFFFF;

struct MemoryRegion {
  uintptr_t base;
  size_t size;
  bool free;  // neither reserved nor committed
};

// The address space as the allocator sees it (VirtualQuery / VirtualAlloc on Windows).
class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual size_t Granularity() = 0;        // reservation alignment and size unit
  virtual uintptr_t LowestAddress() = 0;   // lowest address a block may use
  virtual uintptr_t HighestAddress() = 0;  // highest address a block may use (inclusive)
  // The region holding address; false when address cannot be queried.
  virtual bool Query(uintptr_t address, MemoryRegion* region) = 0;
  // Reserves and commits size bytes read-write-execute at address (0: anywhere). Returns
  // the block's base, or 0 on failure.
  virtual uintptr_t Reserve(uintptr_t address, size_t size) = 0;
  virtual void Release(uintptr_t base) = 0;
};

class Allocator;

// A range taken from an Allocator; given back when destroyed. Keeps its allocator alive.
class Allocation {
 public:
  Allocation() = default;
  Allocation(std::shared_ptr<Allocator> allocator, uintptr_t address, size_t size);
  Allocation(Allocation&& other) noexcept;
  Allocation& operator=(Allocation&& other) noexcept;
  Allocation(const Allocation&) = delete;
  Allocation& operator=(const Allocation&) = delete;
  ~Allocation();

  uintptr_t address() const { return address_; }
  size_t size() const { return size_; }
  void Reset();  // gives the range back now

 private:
  std::shared_ptr<Allocator> allocator_;
  uintptr_t address_ = 0;
  size_t size_ = 0;
};

class Allocator : public std::enable_shared_from_this<Allocator> {
 public:
  static std::shared_ptr<Allocator> Create(PageSource& source);
  // The process-wide allocator: created by the first caller, destroyed with the last
  // reference (its allocations hold one). Later callers get it whatever source they pass.
  static std::shared_ptr<Allocator> Shared(PageSource& source);
  Allocator(const Allocator&) = delete;
  Allocator& operator=(const Allocator&) = delete;
  ~Allocator();  // releases every block

  // size bytes whose every byte lies within kMaxReach of each address of near: first fit
  // in the existing blocks (reservation order, free ranges in address order), else a new
  // block searched downwards, then upwards, from near[0]. An empty near places a new block
  // anywhere. Empty (address 0) when nothing fits or size is 0.
  Allocation Allocate(size_t size, const std::vector<uintptr_t>& near);

 private:
  struct Range {
    uintptr_t address;
    size_t size;
  };
  struct Block {
    uintptr_t base;
    size_t size;
    std::vector<Range> free;  // address order, never touching one another
  };

  explicit Allocator(PageSource& source) : source_(source) {}
  friend class Allocation;
  // Returns a range to its block's free list, merged with the free ranges it touches.
  void Free(uintptr_t address, size_t size);
  uintptr_t ReserveNear(size_t size, size_t blockSize, const std::vector<uintptr_t>& near);

  PageSource& source_;
  std::mutex mutex_;
  std::vector<Block> blocks_;  // reservation order
};

}  // namespace inline_hook
