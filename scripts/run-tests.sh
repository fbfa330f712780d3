#!/bin/bash
# Every test: installs what is missing, builds both targets, runs the native tests
# (sanitizers on, the configuration fuzz target for a bounded time) and the Windows
# tests under Wine.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

ctest --test-dir "$root/build-native" --output-on-failure -j2

source "$root/scripts/wine-env.sh" "$root/build-win"
trap wine_stop EXIT
wine_start
ctest --test-dir "$root/build-win" --output-on-failure
