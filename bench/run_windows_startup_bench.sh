#!/usr/bin/env bash
# Start-up of the Windows program under Wine against its hand-written twin
# (bench/windows/WelcomeTwin.cpp: the same welcome dialog on the Windows API
# alone, with the same window, texts, fonts, button, tooltip, icon and
# manifest, and no forms layer), side by side in one X server and one warm
# Wine prefix of our own.
#
#   bench/run_windows_startup_bench.sh [BUILD-DIR] [RUNS]   (defaults: build-windows, 20)
#
# BUILD-DIR is a build of the windows preset with the program:
#   cmake --preset windows -DQUIMBEL_BUILD_APP=ON && cmake --build build-windows
# The script compiles its two helpers itself, with the same MinGW-w64 compiler
# and the host's: the twin (-O2, static, stripped, with Quimbel's icon and
# manifest as its resources) and the probe (bench/windows/PaintProbe.cpp).
# quimbel.exe is stripped as the packages strip it, so both are measured as
# shipped.
#
# Each run is timed by the probe: launch of wine64 PROGRAM.exe to the
# window's map, to its first drawn content, and to its last drawing before
# it stays the same for 400 ms (the welcome dialog fully painted); then the
# peak resident memory (VmHWM) of the program's process. That process is the
# program with Wine's own libraries in it; the Wine server and Wine's
# desktop process are shared by every program and are not counted. The two
# programs take turns, the order swapping every round, after an unrecorded
# warm-up run each; the Wine server stays up throughout. Prints every run,
# the medians, the ratios Quimbel / twin against the goal of 1.05, and the
# sizes of both .exe files. Exits 1 when a measurement fails; missing the goal
# is reported, not an error.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/x_server.sh"
. "$(dirname "${BASH_SOURCE[0]}")/figures.sh"

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build-windows}" 2>/dev/null && pwd) || { echo "no build folder ${1:-$root/build-windows}" >&2; exit 1; }
runs=${2:-20}
goal=1.05
mingw=${QUIMBEL_MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
strip=${QUIMBEL_MINGW_STRIP:-x86_64-w64-mingw32-strip}
windres=${QUIMBEL_MINGW_WINDRES:-x86_64-w64-mingw32-windres}

quimbel_built=$build/program/quimbel.exe
[ -f "$quimbel_built" ] || { echo "missing $quimbel_built: build $build with QUIMBEL_BUILD_APP=ON first" >&2; exit 1; }
for tool in Xvfb c++ "$mingw" "$strip" "$windres" timeout awk; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (tools/dev.sh installs it)" >&2; exit 1; }
done
[ "$runs" -ge 10 ] 2>/dev/null || { echo "RUNS must be at least 10" >&2; exit 1; }

# Helpers and the prefix are kept in the build folder: the prefix stays warm
# from one run of the bench to the next.
out=$build/bench/windows
prefix=$out/wine-prefix
mkdir -p "$out"
work=$(mktemp -d)
xvfb_pid=""
watchdog_pid=""
server_started=""

if [ -n "${QUIMBEL_WINE:-}" ]; then
  wine=$QUIMBEL_WINE
elif command -v wine64 >/dev/null; then
  wine=$(command -v wine64)
else
  wine=/usr/lib/wine/wine64
fi
[ -x "$wine" ] || { echo "no Wine found (Debian: apt-get install wine wine64)" >&2; exit 1; }
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

cleanup() {
  [ -n "$server_started" ] && WINEPREFIX=$prefix timeout 30 "$wineserver" -k 2>/dev/null
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 1' INT TERM

# Every wait has its own deadline; this one bounds the whole run.
limit=$(( 120 + runs * 2 * 15 ))
start_watchdog "$limit" "the benchmark ran over $limit s"

# --- the two programs and the probe -------------------------------------------
probe=$out/quimbel_paint_probe
twin=$out/quimbel_welcome_twin.exe
quimbel=$out/quimbel.exe
icon=$build/resources/icons/quimbel.ico
[ -f "$icon" ] || { echo "missing $icon: build $build first" >&2; exit 1; }
c++ -std=c++20 -O2 -o "$probe" "$here/windows/PaintProbe.cpp" -lX11 -lXext ||
  { echo "could not build the probe (needs libx11-dev, libxext-dev)" >&2; exit 1; }
# The twin's resources are Quimbel's own icon and manifest (common controls
# 6, per-monitor DPI awareness).
printf '1 ICON "%s"\n1 24 "%s"\n' "$icon" "$root/resources/quimbel.manifest" >"$work/twin.rc"
"$windres" -O coff -o "$work/twin-resources.o" "$work/twin.rc" ||
  { echo "could not compile the twin's resources" >&2; exit 1; }
"$mingw" -std=c++20 -O2 -municode -mwindows -static -s -DUNICODE -D_UNICODE \
  -I "$build/generated/version" -o "$twin" "$here/windows/WelcomeTwin.cpp" "$work/twin-resources.o" -lcomctl32 ||
  { echo "could not build the twin" >&2; exit 1; }
"$strip" -o "$quimbel" "$quimbel_built" || { echo "could not strip $quimbel_built" >&2; exit 1; }

# --- X server, Wine prefix and server -----------------------------------------
start_x_server "$work" || { echo "Xvfb did not start" >&2; exit 1; }
display=$DISPLAY

# The prefix as the tests make it (no window manager expected, Chinese font
# links), then Wine run straight, without the wrapper's locking, so that
# only the programs' own start-up is timed.
QUIMBEL_WINE=$wine "$root/tools/wine-run.sh" --prefix "$prefix" --init ||
  { echo "could not create the Wine prefix $prefix" >&2; exit 1; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINELOADER=$wine WINESERVER=$wineserver DISPLAY=$display
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
timeout 30 "$wineserver" -k 2>/dev/null
timeout 30 "$wineserver" -w 2>/dev/null
"$wineserver" -p </dev/null >/dev/null 2>&1 || { echo "could not start the Wine server" >&2; exit 1; }
server_started=yes
timeout 60 "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1

# The window waited for: the welcome dialog, titled with the product's name
# and version in both programs; they never run at the same time.
title=$(sed -n 's/.*ProductTitle = "\(.*\)";.*/\1/p' "$build/generated/version/QuimbelVersion.h")
[ -n "$title" ] || { echo "no product title in $build/generated/version/QuimbelVersion.h" >&2; exit 1; }

measure() { # NAME EXE -> one line of key=value pairs
  timeout 60 "$probe" --name "$title" -- "$wine" "$2" 2>>"$work/programs.log"
}

run_one() { # NAME EXE
  local line key
  line=$(measure "$1" "$2") || {
    echo "$1: no measurement ($line)" >&2
    tail -n 20 "$work/programs.log" >&2
    exit 1
  }
  printf '%-8s %8.1f %8.1f %8.1f ms %8d KiB\n' "$1" "$(value map_ms "$line")" \
    "$(value first_paint_ms "$line")" "$(value painted_ms "$line")" "$(value hwm_kb "$line")"
  for key in map_ms first_paint_ms painted_ms hwm_kb; do
    value "$key" "$line" >>"$work/$1.$key"
  done
}

echo "X server $display (96 dpi, no window manager), Wine $("$wine" --version 2>/dev/null), prefix $prefix"
echo "$runs runs each; warm-up (not counted)"
measure quimbel "$quimbel" >/dev/null || { echo "quimbel.exe did not start:" >&2; cat "$work/programs.log" >&2; exit 1; }
measure twin "$twin" >/dev/null || { echo "the twin did not start:" >&2; cat "$work/programs.log" >&2; exit 1; }

echo "program   mapped  1st ink  painted       VmHWM"
for i in $(seq "$runs"); do
  if [ $((i % 2)) -eq 1 ]; then
    run_one quimbel "$quimbel"
    run_one twin "$twin"
  else
    run_one twin "$twin"
    run_one quimbel "$quimbel"
  fi
done

echo
echo "medians over $runs runs             quimbel       twin   quimbel/twin"
for key in map_ms first_paint_ms painted_ms; do
  q=$(median <"$work/quimbel.$key")
  m=$(median <"$work/twin.$key")
  printf '  %-30s %7.1f ms %7.1f ms   %s\n' \
    "$(case $key in map_ms) echo "launch to window mapped" ;;
                    first_paint_ms) echo "launch to first drawn content" ;;
                    painted_ms) echo "launch to fully painted" ;; esac)" \
    "$q" "$m" "$(ratio "$q" "$m" "$goal")"
done
q=$(median <"$work/quimbel.hwm_kb")
m=$(median <"$work/twin.hwm_kb")
printf '  %-30s %7d KiB %6d KiB  %s\n' "peak resident memory (VmHWM)" "$q" "$m" "$(ratio "$q" "$m" "$goal")"
echo
echo "sizes: quimbel.exe $(stat -c %s "$quimbel") bytes stripped (as packaged)," \
     "$(stat -c %s "$quimbel_built") as built with debug information;" \
     "twin $(stat -c %s "$twin") bytes"
