#!/bin/bash
# Sourced: the one definition of the Wine settings of the Windows test runs, used by the
# test command, ctest's emulator (wine-run.sh) and the boot script.
# - The prefix lives outside the clone, keyed by the Wine version, so that a machine that has
#   made one (minutes where 32-bit x86 is emulated) reuses it; VT_WINEPREFIX names another.
# - No display (message boxes return at once), no debugger on a crash, no Mono or Gecko
#   installers when the prefix is made.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=d"
unset DISPLAY
if [ -z "${VT_WINEPREFIX:-}" ]; then
  vt_wine_version=$(wine --version 2>/dev/null </dev/null | tr -c 'A-Za-z0-9.\n-' '_')
  VT_WINEPREFIX="${XDG_CACHE_HOME:-$HOME/.cache}/vermiltrace/${vt_wine_version:-wine}-prefix"
fi
export WINEPREFIX="$VT_WINEPREFIX"

# The file that marks a prefix whose first boot finished; a prefix without it is made anew.
vt_wine_ready="$WINEPREFIX/.vermiltrace-ready"

wine_start() {
  "$(dirname "${BASH_SOURCE[0]}")/wine-boot.sh"
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
