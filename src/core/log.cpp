// Placeholder until the log lands.
#include "core/log.h"
const char* PluginDirectory() { return ""; }
const char* PluginFilePath(const char* name) { return name; }
void OpenLog() {}
bool LogOpen() { return false; }
void LogLine(const char*, ...) {}
bool LogEnabled() { return false; }
