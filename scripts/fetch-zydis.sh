#!/bin/sh
# Puts the Zydis sources (Debian's source package) and Zycore's headers (Debian's
# libzycore-dev) into third_party/zydis-src/, for the 32-bit Windows build. Quick when
# they are there already. The source package needs deb-src entries, which scripts/setup.sh
# adds; this script leaves the machine's package sources alone.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
dest="$root/third_party/zydis-src"

if [ -f "$dest/zydis/CMakeLists.txt" ] && [ -f "$dest/zycore/include/Zycore/Zycore.h" ] &&
   [ -f "$dest/zycore/cmake/zyan-functions.cmake" ]; then
  exit 0
fi

work=$(mktemp -d)
chmod a+rwx "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT

mkdir -p "$dest"
if [ ! -f "$dest/zydis/CMakeLists.txt" ]; then
  if ! (cd "$work" && apt-get source -qq zydis >/dev/null); then
    echo "fetch-zydis: apt-get source zydis failed; scripts/setup.sh adds the deb-src entries" >&2
    exit 1
  fi
  rm -rf "$dest/zydis"
  mv "$work"/zydis-4.0.0 "$dest/zydis"
fi

if [ ! -f "$dest/zycore/include/Zycore/Zycore.h" ] ||
   [ ! -f "$dest/zycore/cmake/zyan-functions.cmake" ]; then
  (cd "$work" && apt-get download -qq libzycore-dev >/dev/null)
  dpkg-deb -x "$work"/libzycore-dev_*.deb "$work/zycore-deb"
  rm -rf "$dest/zycore"
  mkdir -p "$dest/zycore/include" "$dest/zycore/cmake"
  cp -r "$work/zycore-deb/usr/include/Zycore" "$dest/zycore/include/"
  cp "$work"/zycore-deb/usr/lib/*/cmake/zycore/zyan-functions.cmake "$dest/zycore/cmake/"
fi
