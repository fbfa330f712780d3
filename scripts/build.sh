#!/bin/bash
# Configures (once) and builds both targets, with the presets of CMakePresets.json:
# debug in build-debug (g++, AddressSanitizer and UndefinedBehaviorSanitizer, asserts on,
# tests, tools, fuzz target) and windows in build-win (32-bit Windows with MinGW: the plug-in
# library and the test programs run under Wine).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# Compilers run through ccache where it is installed (CMake takes the launcher from these
# variables when it configures), its cache under the user's home: paths are taken relative
# to the clone, so a fresh clone on a machine that has built before compiles from the cache.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

cd "$root"
[ -f build-debug/build.ninja ] || cmake --preset debug
cmake --build --preset debug
[ -f build-win/build.ninja ] || cmake --preset windows
cmake --build --preset windows
