// What the plug-in's start-up takes from outside. The defaults are the game's: the files
// beside the library, the system's clock and message boxes. Tools and tests pass their own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/platform.h"
#include "core/plugin_paths.h"

struct StartupOptions {
  // The folder of the plug-in's files, ending with a separator; empty: the library's
  // own folder (a message box says so when it cannot be found).
  std::string pluginDirectory;
  std::string iniPath;  // empty: Vermiltrace.ini in the plug-in folder
  std::string logPath;  // empty: Vermiltrace.log in the plug-in folder
  // The clock start-up reads once, in milliseconds, to seed the random generator.
  std::function<uint32_t()> tickCount = platform::TickCount;
  // Shows the start-up's message boxes (an unsupported game, no plug-in folder).
  MessageBoxCall showMessageBox = platform::ShowMessageBox;
};
