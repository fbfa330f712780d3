// The platform layer on Windows: the real calls.
#include <windows.h>

#include <share.h>

#include "core/platform.h"
#include "core/profile_text.h"

namespace platform {

// The stream is opened in text mode, which writes '\n' as CR LF.
const char* const kLineEnd = "\n";

int32_t ProfileInt(const char* section, const char* key, int32_t def, const char* path) {
  if (!path || !*path) return def;
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, def, path));
}

size_t ProfileString(const char* section, const char* key, const char* def, char* out, size_t size,
                     const char* path) {
  if (!out || size == 0) return 0;
  // An empty file name would send the platform to its own default profile.
  if (!path || !*path) return CopyProfileDefault(def, out, size);
  DWORD limit = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  return GetPrivateProfileStringA(section, key, def, out, limit, path);
}

uint32_t TickCount() { return GetTickCount(); }

double PreciseSeconds() {
  LARGE_INTEGER frequency, count;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ThisModulePath(char* out, size_t size) {
  if (!out || size == 0) return false;
  HMODULE module = nullptr;
  // From an address of this library, without changing the library's reference count.
  constexpr DWORD kFlags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  static_assert(kFlags == 6, "the handle lookup takes flags 6");
  bool found = GetModuleHandleExA(kFlags, reinterpret_cast<LPCSTR>(&ThisModulePath), &module);
  if (!found) module = nullptr;  // null: the executable's own path
  // Older systems leave a name of exactly the limit unterminated; the caller's buffer
  // has one byte more.
  DWORD limit = size - 1 < 260 ? static_cast<DWORD>(size - 1) : 260;
  DWORD length = GetModuleFileNameA(module, out, limit);
  out[length <= limit ? length : 0] = '\0';
  return found;
}

void* ActiveWindow() { return GetActiveWindow(); }

int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) {
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

FILE* OpenSharedForWrite(const char* path) {
  if (!path || !*path) return nullptr;
  return _fsopen(path, "w", _SH_DENYNO);
}

}  // namespace platform
