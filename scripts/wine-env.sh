# Sourced: the Wine settings of the Windows test runs (a prefix of the build, no display,
# no debugger, no Mono or Gecko installers), and the server kept running between them.
export WINEDEBUG=-all
mkdir -p "$1"
export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml,winedbg.exe=d"
unset DISPLAY

wine_start() {
  "$(dirname "${BASH_SOURCE[0]}")/../cmake/wine-boot.sh"
}

wine_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
