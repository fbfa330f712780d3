#!/bin/bash
# Renders the preview's pictures in docs/ that README.md shows: the built-in ped with the
# built-in scenario and the shipped ini (contact sheet and animation), and characters from
# Debian's assimp-testmodels that the preview shows well, each with the same short
# scenario (gallery-scenario.txt beside this script) whose captions say what it did to
# them; BCN_Epileptic with its bone map (bcn_epileptic.bones).
#
#   bash scripts/gallery.sh [PROGRAM]
#
# PROGRAM defaults to the plain optimised build of the preview (the native preset, in
# build-native-plain), configured and built when missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
models=/usr/share/assimp/models
docs="$root/docs"
if [ ! -d "$models" ]; then
  echo "gallery: needs Debian's assimp-testmodels in $models (apt-get install assimp-testmodels)" >&2
  exit 1
fi

program=${1:-}
if [ -n "$program" ]; then
  program=$(realpath "$program")
else
  program="$root/build-native-plain/tools/preview/vermiltrace-preview"
  (cd "$root" && { [ -f build-native-plain/build.ninja ] || cmake --preset native >/dev/null; } &&
    cmake --build --preset native --target vermiltrace-preview)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Run from the top of the clone, so that the pictures' titles name the files as the
# repository does.
cd "$root"

"$program" --ini package/Vermiltrace.ini --out "$work/built-in" >/dev/null
cp "$work/built-in/contact-sheet.png" "$docs/preview-contact-sheet.png"
cp "$work/built-in/animation.png" "$docs/preview-animation.png"

# name, model, then any options.
render() {
  local name=$1 model=$2
  shift 2
  "$program" --model "$models/$model" "$@" --scenario scripts/gallery-scenario.txt \
    --ini package/Vermiltrace.ini --out "$work/$name" | grep -E '^(vermiltrace-preview|warning|wrote)'
  cp "$work/$name/contact-sheet.png" "$docs/gallery-$name.png"
}
render bcn-epileptic X/BCN_Epileptic.X --bones scripts/bcn_epileptic.bones
render mrfixit IQM/mrfixit.iqm
render human Collada/human.zae
render sydney MD2/sydney.md2
ls -l "$docs"/*.png
