#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, in a Wine prefix of the build
# tree's own, so no test touches ~/.wine and a fresh checkout needs no setup.
# CMake uses it as the emulator for the cross build (ctest, test discovery).
#
#   tools/wine-run.sh --prefix DIR PROGRAM.exe [ARGUMENTS...]
#   tools/wine-run.sh --prefix DIR --again-if-wine-fails PROGRAM.exe ...
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
#
# --again-if-wine-fails (for test programs, which CMake runs through
# this script): now and then Wine fails a program that is not at fault, and
# the program is then run once more:
#   - its loader fails an assertion of the C library's as the program exits
#     ("Inconsistency detected by ld.so: dl-fini.c"), after the program
#     itself has finished;
#   - it ends the program with a failure before the program wrote anything
#     at all (a test program writes its first line before its first test).
# Each such second run is added to DIR.again, one line each, for the test
# command to name (tools/dev.sh does). Any other failure stands, and its
# status is said. Without the option the script becomes the program (exec),
# as the end-to-end drives that wait on it by its id expect.
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
again=""
if [ "${1:-}" = "--again-if-wine-fails" ]; then
  again=1
  shift
  [ $# -ge 1 ] || usage
fi
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
# to download them. No menu builder either: it would copy a tested
# installer's shortcuts into the desktop menus of whoever runs the tests.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
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
        timeout 600 "$wine" wineboot -i >"$log" 2>&1 9>&-; then
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
    # No window manager runs in the tests: unmanaged windows spare Wine its
    # wait of about 2 s for one whenever a window is hidden or destroyed. The
    # font link lets Wine's own title bars show Chinese captions.
    if ! { env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$wine" reg add \
             'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
           env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$wine" reg add \
             'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
             /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f &&
           timeout 120 "$wineserver" -w; } >>"$log" 2>&1 9>&-; then
      cat "$log" >&2
      echo "wine-run: setting up the Wine prefix failed" >&2
      exit 1
    fi
    touch "$ready"
  fi
  exec 9>&-
fi
[ "$1" != "--init" ] || exit 0

# One server per prefix stays up 30 s after its last program ends, so the
# next test does not start Wine from cold (about 2.5 s a program, against
# 0.05 s). Its desktop lives on the X display it started with: a program for
# another display gets a fresh server.
exec 9>"$prefix.lock"
if ! flock -w 120 9; then
  echo "wine-run: waited 2 minutes for the lock on $prefix" >&2
  exit 1
fi
display_file=$prefix/.quimbel-server-display
if [ "$(cat "$display_file" 2>/dev/null)" != "${DISPLAY:-}" ]; then
  timeout 30 "$wineserver" -k 9>&- 2>/dev/null || true
  timeout 30 "$wineserver" -w 9>&- 2>/dev/null || true
  printf '%s\n' "${DISPLAY:-}" >"$display_file"
fi
# Fails when the server is already running. Started here, Wine's own
# processes (services, the desktop) would inherit the program's output and
# keep it open as long as the server lives, and ctest waits for that: start
# them now, apart from it. Nothing here holds the lock beyond this script.
if "$wineserver" -p30 </dev/null >/dev/null 2>&1 9>&-; then
  timeout 60 "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-

[ -n "$again" ] || exec "$wine" "$@"
output=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$output" "$errors"' EXIT
for attempt in 1 2; do
  status=0
  : >"$output"
  # What the program writes goes on as it comes, and into a file too, to
  # tell whether it wrote anything.
  exec 8> >(tee "$output")
  copier=$!
  "$wine" "$@" >&8 2>"$errors" <&0 &
  child=$!
  exec 8>&-
  # Whoever stops this script stops the program too.
  trap 'kill -TERM "$child" 2>/dev/null || true' TERM INT
  wait "$child" || status=$?
  while kill -0 "$child" 2>/dev/null; do
    wait "$child" || status=$?
  done
  trap - TERM INT
  # The copy ends with the program's output, unless a process it started
  # still holds that open: then it counts as written.
  wrote=""
  for _ in $(seq 250); do
    kill -0 "$copier" 2>/dev/null || break
    sleep 0.02
  done
  if kill -0 "$copier" 2>/dev/null || [ -s "$output" ]; then wrote=1; fi
  cat "$errors" >&2
  reason=""
  if [ "$status" -ne 0 ] && [ "$attempt" = 1 ]; then
    if grep -q "Inconsistency detected by ld.so: dl-fini.c" "$errors"; then
      reason="Wine's loader failed as the program ended"
    elif [ -z "$wrote" ] && [ ! -s "$errors" ]; then
      reason="Wine ended the program (status $status) before it wrote a line"
    fi
  fi
  if [ -n "$reason" ]; then
    echo "wine-run: $reason; running it once more" >&2
    printf '%s: %s\n' "$*" "$reason" >>"$prefix.again"
    continue
  fi
  [ "$status" -eq 0 ] || echo "wine-run: $1 ended with status $status" >&2
  exit "$status"
done
