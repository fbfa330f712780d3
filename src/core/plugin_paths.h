// Where the plug-in's files are: the directory of the library's own file, unless start-up
// was given another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/platform.h"

// Shows a message box as platform::ShowMessageBox does, and gives its answer.
using MessageBoxCall =
    std::function<int(void* owner, const char* text, const char* caption, uint32_t style)>;

// The buffers' size: a path of at most 260 characters and its terminator.
constexpr size_t kPluginPathBytes = 261;

// Takes the directory and file name from the library's path as the platform reports it
// (at most 260 characters are used; a path with no separator is all directory). found
// false: the module handle could not be had and path is the executable's; box says so,
// owned by the active window.
void SetPluginModulePath(const char* path, bool found = true,
                         const MessageBoxCall& box = platform::ShowMessageBox);
// Takes directory, ending with a separator, as the plug-in directory, with no file name.
void SetPluginDirectory(const char* directory);
// Fills the paths from platform::ThisModulePath, unless they are already set.
void FindPluginDirectory(const MessageBoxCall& box = platform::ShowMessageBox);

// The directory, ending with its separator (FindPluginDirectory on first use).
const char* PluginDirectory();
// The library's file name without its directory.
const char* PluginFileName();
// Directory plus name in a shared buffer, valid until the next call. A result that would
// not fit the 261-byte buffer gives the empty string (nothing is then read or written).
const char* PluginFilePath(const char* name);

// Forgets the paths, as at process start (tests and tools only).
void ResetPluginPaths();
