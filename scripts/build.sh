#!/bin/bash
# Configures (once) and builds both targets: build-native (g++, AddressSanitizer and
# UndefinedBehaviorSanitizer, tests, tools, fuzz target) and build-win (32-bit Windows
# with MinGW: the plug-in library and the test programs run under Wine).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

# Compilers run through ccache, its cache under the user's home: paths are taken relative to
# the clone, so a fresh clone on a machine that has built before compiles from the cache.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

if [ ! -f "$root/build-native/build.ninja" ]; then
  cmake -S "$root" -B "$root/build-native" -G Ninja -DVT_SANITIZE=ON "${launcher[@]}"
fi
ninja -C "$root/build-native"

if [ ! -f "$root/build-win/build.ninja" ]; then
  cmake -S "$root" -B "$root/build-win" -G Ninja "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
fi
ninja -C "$root/build-win"
