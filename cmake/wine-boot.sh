#!/bin/bash
# Starts the Wine server kept running between the Windows test programs and makes (or
# brings up to date) the prefix named by WINEPREFIX. Where 32-bit x86 is emulated a boot
# takes minutes and now and then stalls for good; a stalled boot is stopped and tried again.
mkdir -p "$WINEPREFIX"
for attempt in 1 2 3; do
  wineserver -p </dev/null >/dev/null 2>&1
  if timeout --kill-after=10 900 wine wineboot </dev/null >/dev/null 2>&1; then
    # Making a new prefix goes on after wineboot has returned; tests started meanwhile
    # would share the processor with it for minutes.
    for _ in $(seq 900); do
      pgrep -f 'wineboot.exe --init' >/dev/null || exit 0
      sleep 1
    done
    exit 0
  fi
  echo "wine-boot: attempt $attempt failed or stalled" >&2
  wineserver -k </dev/null >/dev/null 2>&1
  sleep 2
done
exit 1
