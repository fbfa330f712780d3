#include "plugin/system_state.h"

#include "core/log.h"
#include "core/plugin_paths.h"

SystemState* g_state = nullptr;

SystemState& CreateSystemState() {
  if (!g_state) g_state = new SystemState();
  return *g_state;
}

void ResetSystemState() {
  delete g_state;
  g_state = new SystemState();
  ResetLog();
  ResetPluginPaths();
}
