#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, in a Wine prefix of the build
# tree's own, so no test touches ~/.wine and a fresh checkout needs no setup.
# CMake uses it as the emulator for the cross build (ctest, test discovery).
#
#   tools/wine-run.sh --prefix DIR PROGRAM.exe [ARGUMENTS...]
#   tools/wine-run.sh --prefix DIR --init    only creates the prefix
#   tools/wine-run.sh --prefix DIR --stop    ends that prefix's Wine processes
#
# The prefix is created on first use, once even when several tests start at
# the same time. The program gets whatever DISPLAY is set: programs with
# windows need an X server, so run ctest under xvfb-run (tools/dev.sh does);
# this script starts none.
#
# QUIMBEL_WINE names the Wine loader; by default wine64, then Debian's
# /usr/lib/wine/wine64, then wine. QUIMBEL_WINEDEBUG sets WINEDEBUG (default
# -all: Wine's own messages drown the program's).
set -euo pipefail

usage() {
  echo "usage: $0 --prefix DIR PROGRAM [ARGUMENTS...] | --init | --stop" >&2
  exit 2
}

if [ $# -lt 3 ] || [ "$1" != "--prefix" ] || [ -z "$2" ]; then
  usage
fi
prefix=$2
shift 2
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
[ "$prefix" != / ] || usage

pick_wine() {
  if [ -n "${QUIMBEL_WINE:-}" ]; then
    echo "$QUIMBEL_WINE"
  elif command -v wine64 >/dev/null; then
    command -v wine64
  elif [ -x /usr/lib/wine/wine64 ]; then
    # Debian 12 keeps the 64-bit loader off PATH; its /usr/bin/wine wrapper
    # would look for the 32-bit one first.
    echo /usr/lib/wine/wine64
  elif command -v wine >/dev/null; then
    command -v wine
  else
    echo "wine-run: no Wine found (Debian: apt-get install wine wine64)" >&2
    exit 127
  fi
}
wine=$(pick_wine)

# The server that belongs to that loader.
if [ -x "$(dirname "$wine")/wineserver" ]; then
  wineserver=$(dirname "$wine")/wineserver
else
  wineserver=$(command -v wineserver || echo wineserver)
fi

export WINEPREFIX=$prefix
export WINEDEBUG=${QUIMBEL_WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and Wine would otherwise offer
# to download them.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# Debian's wrapper scripts reach the same 64-bit loader.
export WINELOADER=$wine WINESERVER=$wineserver

if [ "$1" = "--stop" ]; then
  [ -d "$prefix" ] || exit 0
  timeout 60 "$wineserver" -k 2>/dev/null || true
  exit 0
fi

ready=$prefix/.quimbel-prefix-ready
if [ ! -e "$ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  if ! flock -w 600 9; then
    echo "wine-run: waited 10 minutes for another process creating $prefix" >&2
    exit 1
  fi
  if [ ! -e "$ready" ]; then
    rm -rf "$prefix"
    log=$prefix.create.log
    echo "wine-run: creating the Wine prefix $prefix (once; takes a while)" >&2
    # Without a display Wine shows no dialogs while it sets the prefix up.
    if ! env -u DISPLAY -u WAYLAND_DISPLAY WINEARCH=win64 \
        timeout 600 "$wine" wineboot -i >"$log" 2>&1; then
      cat "$log" >&2
      echo "wine-run: creating the Wine prefix failed" >&2
      exit 1
    fi
    # wineboot returns while Wine's own processes still set the prefix up and
    # the server has yet to save the registry: wait for them all to finish.
    # An interrupted set-up leaves no mark and starts over next time.
    if ! timeout 120 "$wineserver" -w ||
       [ ! -f "$prefix/system.reg" ] || [ ! -d "$prefix/drive_c/windows/system32" ]; then
      cat "$log" >&2
      echo "wine-run: creating the Wine prefix failed or was cut short" >&2
      exit 1
    fi
    touch "$ready"
  fi
  exec 9>&-
fi
[ "$1" != "--init" ] || exit 0

exec "$wine" "$@"
