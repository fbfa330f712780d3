// The platform layer off Windows: the profile reader over the file's text, a monotonic
// millisecond clock, dladdr for the module path, message boxes on standard error.
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/profile_text.h"

namespace platform {

namespace {

// The whole file, or false when it cannot be opened or read (a directory, no permission).
bool ReadWholeFile(const char* path, std::string* text) {
  if (!path || !*path) return false;
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text->append(chunk, got);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

}  // namespace

const char* const kLineEnd = "\r\n";

int32_t ProfileInt(const char* section, const char* key, int32_t def, const char* path) {
  std::string text;
  if (!ReadWholeFile(path, &text)) return def;
  return ProfileIntFromText(text, section, key, def);
}

size_t ProfileString(const char* section, const char* key, const char* def, char* out, size_t size,
                     const char* path) {
  if (!out || size == 0) return 0;
  std::string text;
  if (!ReadWholeFile(path, &text)) return CopyProfileDefault(def, out, size);
  return ProfileStringFromText(text, section, key, def, out, size);
}

uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

double PreciseSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

bool ThisModulePath(char* out, size_t size) {
  if (!out || size == 0) return false;
  const size_t limit = size - 1 < 260 ? size - 1 : 260;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ThisModulePath), &info) && info.dli_fname) {
    size_t length = std::strlen(info.dli_fname);
    if (length > limit) length = limit;
    std::memcpy(out, info.dli_fname, length);
    out[length] = '\0';
    return true;
  }
  ssize_t length = readlink("/proc/self/exe", out, limit);
  out[length > 0 ? static_cast<size_t>(length) : 0] = '\0';
  return false;
}

void* ActiveWindow() { return nullptr; }

int ShowMessageBox(void*, const char* text, const char* caption, uint32_t) {
  std::fprintf(stderr, "[message box] %s: %s\n", caption ? caption : "", text ? text : "");
  return 1;
}

FILE* OpenSharedForWrite(const char* path) {
  if (!path || !*path) return nullptr;
  return std::fopen(path, "wb");
}

}  // namespace platform
