#!/bin/bash
# Fails when a tracked C++ file of ours differs from what clang-format 14 makes of it with
# the repository's .clang-format (another version formats some lines differently).
# Fix with: clang-format -i FILE...
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

format=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$format" ]; then
  echo "check-format: clang-format not found (scripts/setup.sh installs it)" >&2
  exit 1
fi
version=$("$format" --version)
if ! [[ $version =~ version\ 14\. ]]; then
  echo "check-format: $format is '$version'; the files are formatted with version 14" >&2
  exit 1
fi

mapfile -t files < <(git ls-files -- '*.cpp' '*.h' ':!:third_party/*')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no tracked C++ file found (not a git work tree?)" >&2
  exit 1
fi
"$format" --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files formatted"
