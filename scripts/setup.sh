#!/bin/bash
# Installs what the builds and tests need on Debian 12 (run as root), and the Zydis
# sources for the Windows build. Quick when everything is there already.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

packages=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev libzydis-dev
  libzycore-dev libassimp-dev assimp-testmodels libstb-dev libcli11-dev libclang-rt-14-dev
  clang clang-format g++-mingw-w64-i686 wine wine32:i386 zip dpkg-dev ccache)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

sources=/etc/apt/sources.list.d/debian.sources
update=0
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  update=1
fi
# Source entries, for Debian's Zydis source package (the Windows build compiles it).
if [ -f "$sources" ] && ! grep -q '^Types:.*deb-src' "$sources"; then
  sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  update=1
fi
if [ $update -eq 1 ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine's 32-bit loader needs the kernel's 32-bit support; where that is switched off,
# 32-bit programs run through qemu's user-mode emulator instead.
# Debian registers no i386 handler on amd64, so it is registered here.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "setup: this kernel runs no 32-bit programs; running them through qemu"
  if ! dpkg-query -W -f='${Status}\n' qemu-user 2>/dev/null | grep -q '^install ok installed$'; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' >"$binfmt/register"
  fi
fi

if [ -f "$root/scripts/fetch-zydis.sh" ]; then
  sh "$root/scripts/fetch-zydis.sh"
fi
