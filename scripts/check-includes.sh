#!/bin/bash
# Fails on an include that climbs out of its folder ("../x.h") anywhere in src/: it would
# reach a library the includer does not link, past the include barrier of
# cmake/vt_headers.cmake.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if grep -rnE --include='*.h' --include='*.cpp' --include='*.in' \
     '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*/)?\.\./' "$root/src"; then
  echo "check-includes: include through a parent folder above; name the folder instead" \
       "(\"wounds/blood_state.h\"), and link its library if the layers allow it" >&2
  exit 1
fi
echo "check-includes: no include through a parent folder in src/"
