#!/bin/bash
# Every test: installs what is missing, builds both targets, runs the native tests
# (sanitizers and asserts on, the configuration fuzz target for a bounded time, the
# sources' include and format checks) and the Windows tests under Wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

# The Wine prefix of the Windows tests boots while both targets build: where 32-bit x86 is
# emulated a boot takes minutes, mostly waiting. The server is stopped whatever happens.
source "$root/cmake/wine-env.sh"
trap wine_stop EXIT
wine_start &
boot=$!

bash "$root/scripts/build.sh"
cd "$root"
ctest --preset debug

wait "$boot"
# Two programs at a time: each spends most of its time starting Wine. The server is already
# up, so the tests' own step that starts it is left out.
ctest --preset windows --exclude-regex '^wine\.start$' --fixture-exclude-setup vt_wine
