#!/bin/bash
# Configures (once) and builds both targets: build-native (g++, AddressSanitizer and
# UndefinedBehaviorSanitizer, tests, tools, fuzz target) and build-win (32-bit Windows
# with MinGW: the plug-in library and the test programs run under Wine).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$root/build-native/build.ninja" ]; then
  cmake -S "$root" -B "$root/build-native" -G Ninja -DVT_SANITIZE=ON
fi
ninja -C "$root/build-native"

if [ ! -f "$root/build-win/build.ninja" ]; then
  cmake -S "$root" -B "$root/build-win" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
fi
ninja -C "$root/build-win"
