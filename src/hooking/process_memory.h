// Reading and writing this process's memory for code patching (32-bit Windows only).
// Page protection is lifted to read-write-execute (0x40) around an access and put back
// only when the lift succeeded; memory that is not committed, or that the lift could not
// open, is never touched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace memory {

// How many bytes from address on, up to limit, can be read as they are.
size_t ReadableBytes(uintptr_t address, size_t limit);

// Copies count bytes at address into out. False (out untouched) when they cannot be read.
bool ReadBytes(uintptr_t address, void* out, size_t count, bool liftProtection);

// The 32-bit word at address, protection lifted around the read; 0 when unreadable.
uint32_t ReadWord(uintptr_t address);

// Writes count bytes from source at address and flushes the instruction cache. When the
// protection cannot be lifted (or liftProtection is false) the bytes are written only if
// the pages are writable as they are. False when nothing was written.
bool WriteBytes(uintptr_t address, const void* source, size_t count, bool liftProtection);

// Like WriteBytes, but writes only when the protection could be lifted (code patching).
bool WriteCode(uintptr_t address, const void* source, size_t count);

// How taking a patch out ended.
enum class Removal : uint8_t {
  None,         // nothing was in place
  Restored,     // the bytes from before the patch are back
  LeftInPlace,  // another patch had been written over it: kept, leading only to the original
};

// The loaded image of the module that holds address: [*begin, *end). False when address
// lies in no module.
bool ModuleImage(uintptr_t address, uintptr_t* begin, uintptr_t* end);

// A few bytes kept to be written back later (a patched call site).
struct SavedBytes {
  static constexpr size_t bufsize = 5;
  uintptr_t address = 0;
  uint8_t bytes[bufsize] = {};
  size_t count = 0;
  bool present = false;        // backup present
  bool liftProtection = true;  // writes lift page protection
};

// Restores any backup saved still holds, then saves size bytes at address. size above
// SavedBytes::bufsize is a programming error and saves nothing; so does unreadable memory.
void SaveBytes(SavedBytes* saved, uintptr_t address, size_t size);

// Writes the saved bytes back and drops the backup; nothing without a backup.
void RestoreBytes(SavedBytes* saved);

// Where the instruction at address leads: E8/E9 rel32 to address + 5 + rel32, FF 15 / FF 25
// to the word stored at their absolute pointer. 0 for anything else or unreadable memory.
uintptr_t BranchTarget(uintptr_t address);

// Rewrites the instruction at address into E8 rel32 calling destination (protection
// lifted). Returns the instruction's previous branch target.
uintptr_t MakeCall(uintptr_t address, uintptr_t destination);

}  // namespace memory
