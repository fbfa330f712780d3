# Sourced: the Wine settings of the Windows test runs (a prefix of the build, no display,
# no debugger, no Mono or Gecko installers), and the server kept running between them.
export WINEDEBUG=-all
export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=d"
unset DISPLAY

wine_start() {
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
