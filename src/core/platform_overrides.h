// Test overrides shared by both platform adapters (internal to the platform layer).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct TestingOverrides {
  bool hasModulePath = false;
  std::string modulePath;
  bool moduleHandleFails = false;
  bool hasTickCount = false;
  uint32_t tickCount = 0;
  double (*preciseClock)() = nullptr;
  bool hasActiveWindow = false;
  void* activeWindow = nullptr;
  bool messageBoxesRecordedOnly = false;
};

TestingOverrides& Overrides();

// Records a message box and prints it to standard error instead of showing it; answers
// OK (1).
int RecordMessageBox(void* owner, const char* text, const char* caption, uint32_t style);

// Copies the overriding module path into out as GetModuleFileNameA would (at most 260
// characters, terminated). Returns false when the handle lookup is set to fail.
bool OverriddenModulePath(char* out, size_t size);

}  // namespace platform
