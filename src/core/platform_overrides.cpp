#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/platform.h"
#include "core/platform_overrides.h"

namespace platform {

TestingOverrides& Overrides() {
  static TestingOverrides overrides;
  return overrides;
}

bool OverriddenModulePath(char* out, size_t size) {
  const std::string& path = Overrides().modulePath;
  size_t count = std::min({path.size(), size - 1, size_t{260}});
  std::memcpy(out, path.data(), count);
  out[count] = '\0';
  return !Overrides().moduleHandleFails;
}

std::vector<MessageBoxRecord>& RecordedMessageBoxes() {
  static std::vector<MessageBoxRecord> boxes;
  return boxes;
}

void SetModulePathForTesting(const char* path, bool fail) {
  Overrides().hasModulePath = true;
  Overrides().modulePath = path ? path : "";
  Overrides().moduleHandleFails = fail;
}

void SetTickCountForTesting(uint32_t ticks) {
  Overrides().hasTickCount = true;
  Overrides().tickCount = ticks;
}

void SetPreciseClockForTesting(double (*clock)()) { Overrides().preciseClock = clock; }

void SetActiveWindowForTesting(void* window) {
  Overrides().hasActiveWindow = true;
  Overrides().activeWindow = window;
}

void SetMessageBoxesRecordedOnlyForTesting() { Overrides().messageBoxesRecordedOnly = true; }

int RecordMessageBox(void* owner, const char* text, const char* caption, uint32_t style) {
  RecordedMessageBoxes().push_back({owner, text ? text : "", caption ? caption : "", style});
  std::fprintf(stderr, "[message box] %s: %s\n", caption ? caption : "", text ? text : "");
  return 1;
}

void ClearTestingOverrides() {
  Overrides() = TestingOverrides();
  RecordedMessageBoxes().clear();
}

}  // namespace platform
