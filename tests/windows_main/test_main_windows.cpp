// main of the Windows test programs. GoogleTest copies every failure and skip to
// OutputDebugStringA, which raises an exception for a debugger to see. Under Wine on an
// emulated 32-bit x86 that exception can crash the program or stall it, so the program's
// import of OutputDebugStringA is pointed at a routine that does nothing: nobody reads
// debug output in these runs, and the report on standard output is unchanged.
#include <windows.h>

#include <gtest/gtest.h>

extern "C" {
// The program's import slot of OutputDebugStringA.
extern void(WINAPI* ImportedOutputDebugStringA)(LPCSTR) __asm__("__imp__OutputDebugStringA@4");
}

namespace {

void WINAPI IgnoreDebugString(LPCSTR) {}

}  // namespace

int main(int argc, char** argv) {
  ImportedOutputDebugStringA = IgnoreDebugString;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
