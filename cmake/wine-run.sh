#!/bin/bash
# Runs a Windows program under Wine for ctest.
# - Its output is kept in a file until it ends: a process Wine starts on the side (the
#   desktop, a crash dialog) inherits the program's streams and open files, and would keep
#   ctest waiting on them long after the program is gone.
# - Where 32-bit x86 is emulated, Wine now and then stalls for good; a program that has not
#   ended after VT_WINE_STALL seconds is stopped and run once more. A program takes 1 to 3
#   minutes alone there, up to about 7 while Wine's services start beside it. A program
#   that ends, passing or failing, is never run again.
for fd in /proc/$$/fd/*; do
  fd=${fd##*/}
  [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
done
source "$(dirname "$0")/wine-env.sh"
stall=${VT_WINE_STALL:-720}
out=$(mktemp)
for attempt in 1 2; do
  timeout --kill-after=10 "$stall" wine "$@" </dev/null >"$out" 2>&1
  status=$?
  cat "$out"
  [ $status -ne 124 ] && [ $status -ne 137 ] && break
  echo "wine-run: $1 stalled for $stall s (attempt $attempt)"
done
rm -f "$out"
exit $status
