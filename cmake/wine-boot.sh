#!/bin/bash
# Starts the Wine server kept running between the Windows test programs and makes (or
# brings up to date) the prefix of wine-env.sh. A prefix whose first boot never finished is
# removed and made anew; one that finished is reused.
# - Where 32-bit x86 is emulated, making a new prefix takes minutes, and the wineboot that
#   asked for it often ends early with an error (kernel32 not yet loadable) while the
#   prefix's own set-up goes on; that is waited for, never cut short.
# - Now and then an emulated boot stalls for good; a stalled boot is stopped and tried again.
# - A boot that fails is reported with the end of its output, and the tests go on: they start
#   Wine themselves and say what is wrong far better than the boot can.
source "$(dirname "$0")/wine-env.sh"
if [ -d "$WINEPREFIX" ] && [ ! -e "$vt_wine_ready" ]; then
  wineserver -k </dev/null >/dev/null 2>&1
  echo "wine-boot: $WINEPREFIX was never finished; making it anew"
  rm -rf "$WINEPREFIX"
fi
mkdir -p "$WINEPREFIX"
log="$WINEPREFIX.boot.log"
stall=${VT_WINE_BOOT_STALL:-900}
start=$SECONDS

setup_running() { pgrep -f 'wineboot.exe --init' >/dev/null; }

for attempt in 1 2 3; do
  wineserver -p </dev/null >/dev/null 2>&1
  timeout --kill-after=10 "$stall" wine wineboot </dev/null >"$log" 2>&1
  status=$?
  ended=$((SECONDS - start))
  if [ $status -ne 124 ] && [ $status -ne 137 ]; then
    waited=0
    while setup_running && [ $waited -lt "$stall" ]; do
      sleep 2
      waited=$((waited + 2))
    done
    if ! setup_running; then
      # An early error of wineboot leaves open whether the set-up it waited on succeeded;
      # a second boot on the finished prefix tells.
      if [ $status -ne 0 ]; then
        timeout --kill-after=10 "$stall" wine wineboot </dev/null >>"$log" 2>&1 && status=0
      fi
      [ $status -eq 0 ] && touch "$vt_wine_ready"
      echo "wine-boot: ready after $((SECONDS - start)) s (wineboot ended with $status after $ended s)"
      exit 0
    fi
  fi
  echo "wine-boot: attempt $attempt stalled after $((SECONDS - start)) s (wineboot ended" \
    "with $status after $ended s); its output ends:" >&2
  tail -n 5 "$log" >&2
  wineserver -k </dev/null >/dev/null 2>&1
  sleep 2
done
echo "wine-boot: no boot finished; the tests start Wine themselves" >&2
exit 0
