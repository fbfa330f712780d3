#include "hooking/process_memory.h"

#include <windows.h>

#include <cassert>
#include <cstring>

#include "hooking/branch_target.h"

namespace memory {
namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable =
    PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// Every page of the range committed, not a guard page, and open to the access as it is.
bool Accessible(uintptr_t address, size_t count, DWORD access) {
  const uintptr_t last = address + (count - 1);
  if (count == 0 || last < address) return false;
  uintptr_t at = address;
  for (;;) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info)) == 0) return false;
    if (info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) || !(info.Protect & access)) {
      return false;
    }
    const uintptr_t regionLast =
        reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize - 1;
    if (regionLast >= last) return true;
    at = regionLast + 1;
  }
}

bool Committed(uintptr_t address, size_t count) {
  return Accessible(address, count, kReadable | kWritable | PAGE_EXECUTE | PAGE_NOACCESS);
}

// Lifts the range to read-write-execute for one access; puts the old protection back.
class LiftedProtection {
 public:
  LiftedProtection(uintptr_t address, size_t count, bool lift) : address_(address), count_(count) {
    lifted_ =
        lift && Committed(address, count) &&
        VirtualProtect(reinterpret_cast<void*>(address), count, PAGE_EXECUTE_READWRITE, &old_);
  }
  ~LiftedProtection() {
    DWORD ignored;
    if (lifted_) VirtualProtect(reinterpret_cast<void*>(address_), count_, old_, &ignored);
  }
  bool lifted() const { return lifted_; }

 private:
  uintptr_t address_;
  size_t count_;
  DWORD old_ = 0;
  bool lifted_;
};

bool Write(uintptr_t address, const void* source, size_t count, bool liftProtection,
           bool requireLift) {
  LiftedProtection protection(address, count, liftProtection);
  if (!protection.lifted() && (requireLift || !Accessible(address, count, kWritable))) {
    return false;
  }
  memcpy(reinterpret_cast<void*>(address), source, count);
  FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(address), count);
  return true;
}

}  // namespace

size_t ReadableBytes(uintptr_t address, size_t limit) {
  size_t readable = 0;
  while (readable < limit) {
    MEMORY_BASIC_INFORMATION info;
    const uintptr_t at = address + readable;
    if (at < address || VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info)) == 0 ||
        info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) || !(info.Protect & kReadable)) {
      break;
    }
    const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    readable += regionEnd > at ? regionEnd - at : limit;
  }
  return readable < limit ? readable : limit;
}

bool ReadBytes(uintptr_t address, void* out, size_t count, bool liftProtection) {
  LiftedProtection protection(address, count, liftProtection);
  if (!protection.lifted() && !Accessible(address, count, kReadable)) return false;
  memcpy(out, reinterpret_cast<const void*>(address), count);
  return true;
}

uint32_t ReadWord(uintptr_t address) {
  uint32_t word = 0;
  ReadBytes(address, &word, sizeof(word), true);
  return word;
}

bool WriteBytes(uintptr_t address, const void* source, size_t count, bool liftProtection) {
  return Write(address, source, count, liftProtection, false);
}

bool WriteCode(uintptr_t address, const void* source, size_t count) {
  return Write(address, source, count, true, true);
}

void SaveBytes(SavedBytes* saved, uintptr_t address, size_t size) {
  const size_t bufsize = SavedBytes::bufsize;
  RestoreBytes(saved);
  assert(size <= bufsize);
  if (size > bufsize || !ReadBytes(address, saved->bytes, size, saved->liftProtection)) return;
  saved->address = address;
  saved->count = size;
  saved->present = true;
}

void RestoreBytes(SavedBytes* saved) {
  if (!saved->present) return;
  WriteBytes(saved->address, saved->bytes, saved->count, saved->liftProtection);
  saved->present = false;
}

uintptr_t BranchTarget(uintptr_t address) {
  uint8_t code[6];
  if (!ReadBytes(address, code, 2, true)) return 0;
  const size_t length = code[0] == 0xFF ? 6 : 5;
  if (!ReadBytes(address, code, length, true)) return 0;
  return DecodeBranchTarget(code, length, address,
                            [](uint32_t pointer) { return ReadWord(pointer); });
}

uintptr_t MakeCall(uintptr_t address, uintptr_t destination) {
  const uintptr_t previous = BranchTarget(address);
  const auto call = RelativeBranch(0xE8, uint32_t(address), uint32_t(destination));
  WriteBytes(address, call.data(), call.size(), true);
  return previous;
}

bool ModuleImage(uintptr_t address, uintptr_t* begin, uintptr_t* end) {
  HMODULE module = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(address), &module)) return false;
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  *begin = base;
  *end = base + nt->OptionalHeader.SizeOfImage;
  return true;
}

}  // namespace memory
