#include "core/plugin_paths.h"

#include <algorithm>
#include <cstring>

namespace {

// Constant-initialised: it exists before any static initialiser runs.
struct PathState {
  bool filled = false;
  char directory[kPluginPathBytes] = {};
  char fileName[kPluginPathBytes] = {};
  char composed[kPluginPathBytes] = {};
};
PathState g_paths;

// Copies at most 260 characters, as GetModuleFileNameA reports at most.
void CopyPath(char (&out)[kPluginPathBytes], const char* path) {
  const size_t length = path ? std::min(std::strlen(path), kPluginPathBytes - 1) : 0;
  if (length > 0) std::memcpy(out, path, length);
  out[length] = '\0';
}

}  // namespace

void SetPluginModulePath(const char* path, bool found, const MessageBoxCall& box) {
  g_paths = PathState{};
  g_paths.filled = true;
  if (!found) {
    box(platform::ActiveWindow(), "FILESYSTEM\nFailed to retrieve plugin dir path", "Vermiltrace",
        0x10);
  }
  char full[kPluginPathBytes];
  CopyPath(full, path);
  const char* backslash = std::strrchr(full, '\\');
  const char* slash = std::strrchr(full, '/');
  const char* separator = !backslash ? slash : !slash ? backslash : std::max(backslash, slash);
  std::strcpy(g_paths.directory, full);
  if (separator) {
    std::strcpy(g_paths.fileName, separator + 1);
    g_paths.directory[separator - full + 1] = '\0';
  }
}

void SetPluginDirectory(const char* directory) {
  g_paths = PathState{};
  g_paths.filled = true;
  CopyPath(g_paths.directory, directory);
}

void FindPluginDirectory(const MessageBoxCall& box) {
  if (g_paths.filled) return;
  char full[kPluginPathBytes] = {};
  const bool found = platform::ThisModulePath(full, sizeof(full));
  SetPluginModulePath(full, found, box);
}

const char* PluginDirectory() {
  FindPluginDirectory();
  return g_paths.directory;
}

const char* PluginFileName() {
  FindPluginDirectory();
  return g_paths.fileName;
}

const char* PluginFilePath(const char* name) {
  const char* directory = PluginDirectory();
  char* composed = g_paths.composed;
  const size_t directoryLength = std::strlen(directory);
  const size_t nameLength = name ? std::strlen(name) : 0;
  // Cutting the path could name some other file; an empty path makes no read or write.
  if (directoryLength + nameLength >= sizeof(g_paths.composed)) {
    composed[0] = '\0';
    return composed;
  }
  std::memcpy(composed, directory, directoryLength);
  if (nameLength > 0) std::memcpy(composed + directoryLength, name, nameLength);
  composed[directoryLength + nameLength] = '\0';
  return composed;
}

void ResetPluginPaths() { g_paths = PathState{}; }
