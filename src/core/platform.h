// The few operating-system calls the system makes. On Windows these are the real calls;
// elsewhere a small implementation that behaves like them for everything the system
// relies on (profile reading, tick count, module path, message boxes, shared open).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// GetPrivateProfileIntA: the decimal number at the start of the value (0 when the text
// starts with no number), or def when the section or key is absent, the value is empty
// or the file cannot be read. A null or empty path reads nothing and gives def.
int32_t ProfileInt(const char* section, const char* key, int32_t def, const char* path);

// GetPrivateProfileStringA into out (size bytes, always terminated): the value with
// surrounding blanks removed, or def when the section or key is absent. Returns the
// number of characters copied. A null or empty path reads nothing and gives def.
size_t ProfileString(const char* section, const char* key, const char* def, char* out, size_t size,
                     const char* path);

// GetTickCount.
uint32_t TickCount();

// Seconds of a monotonic clock with sub-millisecond resolution (QueryPerformanceCounter),
// for measuring the system's own work.
double PreciseSeconds();

// GetModuleHandleExA (from an address of this library, unchanged reference count) then
// GetModuleFileNameA (at most 260 characters). Returns false when the module handle
// could not be had; out then holds the executable's own path. out is always terminated
// (nothing is written when size is 0).
bool ThisModulePath(char* out, size_t size);

// GetActiveWindow. Off Windows there is none (null).
void* ActiveWindow();

// MessageBoxA. Off Windows the box is printed to standard error instead of shown, and
// answered with OK (1).
int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style);

// Opens path for writing, creating or truncating it, shared with every other reader and
// writer (the C runtime's shared open, mode "w", share flag 0x40). Null on failure, and
// for a null or empty path.
FILE* OpenSharedForWrite(const char* path);

// The line end the log writes after each message: text mode turns '\n' into CR LF on
// Windows; elsewhere the stream is binary and gets both bytes.
extern const char* const kLineEnd;

}  // namespace platform
