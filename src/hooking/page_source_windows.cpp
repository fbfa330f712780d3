#include <windows.h>

#include "hooking/inline_hook.h"

namespace inline_hook {
namespace {

class SystemPages : public PageSource {
 public:
  SystemPages() { GetSystemInfo(&info_); }
  size_t Granularity() override { return info_.dwAllocationGranularity; }
  uintptr_t LowestAddress() override {
    return reinterpret_cast<uintptr_t>(info_.lpMinimumApplicationAddress);
  }
  uintptr_t HighestAddress() override {
    return reinterpret_cast<uintptr_t>(info_.lpMaximumApplicationAddress);
  }
  bool Query(uintptr_t address, MemoryRegion* region) override {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof(info)) == 0) return false;
    const uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    region->free = info.State == MEM_FREE;
    // Report a whole allocation's start, so that a downward walk steps over it at once.
    region->base = region->free ? base : reinterpret_cast<uintptr_t>(info.AllocationBase);
    region->size = base + info.RegionSize - region->base;
    return true;
  }
  uintptr_t Reserve(uintptr_t address, size_t size) override {
    return reinterpret_cast<uintptr_t>(VirtualAlloc(
        reinterpret_cast<void*>(address), size, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  }
  void Release(uintptr_t base) override {
    VirtualFree(reinterpret_cast<void*>(base), 0, MEM_RELEASE);
  }

 private:
  SYSTEM_INFO info_;
};

}  // namespace

PageSource& SystemPageSource() {
  // Never destroyed: hooks in static objects give their trampolines back at exit.
  static SystemPages* pages = new SystemPages;
  return *pages;
}

}  // namespace inline_hook
