#!/bin/bash
# The main job: installs what is missing, builds both targets, makes the player's package
# (dist/) and runs the system on the simulated host with the shipped settings, printing
# its log (pictures in preview/).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

sh "$root/scripts/package.sh" "$root/build-win"
"$root/build-debug/tools/preview/vermiltrace-preview" --out "$root/preview"
echo "--- preview/Vermiltrace.log"
cat "$root/preview/Vermiltrace.log"
echo "--- pictures: $root/preview/contact-sheet.png and $root/preview/masks/"
