#!/bin/bash
# Fails when an object of the plug-in other than its entry file runs code at static
# initialisation (a .ctors or .init_array section). Start-up depends on the order of the
# static objects, which only the entry file fixes: the order between files is the linker's.
# Usage: check-static-ctors.sh OBJDUMP ENTRY_OBJECT FILE... (objects or static archives;
# an argument may be a ;-separated list of them)
set -euo pipefail

objdump=$1
entry=$2
shift 2

files=()
for arg in "$@"; do
  IFS=';' read -ra list <<<"$arg"  # a CMake list of objects arrives as one argument
  files+=("${list[@]}")
done

found=0
for file in "${files[@]}"; do
  [[ $file == *.res ]] && continue  # compiled resources: no code
  # objdump -h names each object ("name:   file format ...") before listing its sections.
  offenders=$("$objdump" -h "$file" | awk '
    / file format / { object = $1; sub(/:$/, "", object); sub(/.*\//, "", object); next }
    $2 ~ /^\.(ctors|init_array)/ { print object }' | sort -u)
  for object in $offenders; do
    [ "$object" = "$entry" ] && continue
    echo "static constructor in $object ($file): make its statics constant or function-local"
    found=1
  done
done
exit "$found"
