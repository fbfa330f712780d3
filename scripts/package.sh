#!/bin/sh
# Makes the player's package: dist/Vermiltrace.asi, dist/Vermiltrace.ini, dist/README.txt
# and dist/Vermiltrace.zip holding the three.
#
#   scripts/package.sh [BUILD_DIR]
#
# BUILD_DIR (default build-win) is the 32-bit Windows build; it is configured with the
# MinGW toolchain when it does not exist yet, and the library is (re)built there.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-win"}
dist="$root/dist"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVT_TESTS=OFF -DVT_TOOLS=OFF
fi
ninja -C "$build" vermiltrace_asi

asi="$build/src/plugin/Vermiltrace.asi"
[ -f "$asi" ] || { echo "package: $asi was not built" >&2; exit 1; }

# The library must export nothing: the game only loads it.
exports=$(i686-w64-mingw32-objdump -p "$asi" |
  awk '/^Number in:/ { n = 1 } n && /Export Address Table/ { print $NF; exit }')
if [ -n "$exports" ] && [ "$exports" != "00000000" ]; then
  echo "package: $asi exports symbols" >&2
  exit 1
fi

rm -rf "$dist"
mkdir -p "$dist"
i686-w64-mingw32-strip -o "$dist/Vermiltrace.asi" "$asi"
# Windows line ends, for any editor a player opens them with.
sed 's/$/\r/' "$root/package/Vermiltrace.ini" >"$dist/Vermiltrace.ini"
sed 's/$/\r/' "$root/package/README.txt" >"$dist/README.txt"
(cd "$dist" && zip -q -X Vermiltrace.zip Vermiltrace.asi Vermiltrace.ini README.txt)

echo "package: $dist/Vermiltrace.zip"
