#!/usr/bin/env bash
# Quimbel's start-up against its hand-written twin (bench/startup/WelcomeTwin.cpp:
# the same welcome dialog on Qt Widgets alone, with the same window, texts,
# fonts, button, tooltip and icon, and no forms layer), side by side in one X
# server of our own, and Quimbel's CPU use while it sits idle.
#
#   bench/run_startup_bench.sh [BUILD-DIR] [RUNS]     (defaults: build-bench, 20)
#
# Build first: cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release
#              cmake --build build-bench
#
# Each run is timed by quimbel_startup_probe: launch to the MapNotify of the
# program's first window (Quimbel: the welcome dialog), then the peak resident
# memory (VmHWM) after a short settle, then the program is killed. The two
# programs take turns, the order swapping every round, after one unrecorded
# warm-up run each. Prints every run, the medians and the ratios
# Quimbel / twin (goal: at most 1.05 on both), then the idle CPU. Exits 1 when
# a measurement fails; missing the goal is reported, not an error.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/x_server.sh"
. "$(dirname "${BASH_SOURCE[0]}")/figures.sh"

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build-bench}
runs=${2:-20}
settle_ms=300
idle_s=10
goal=1.05

quimbel=$build/program/quimbel
twin=$build/bench/startup/quimbel_welcome_twin
probe=$build/bench/startup/quimbel_startup_probe
for file in "$quimbel" "$twin" "$probe"; do
  [ -x "$file" ] || { echo "missing $file: build $build first" >&2; exit 1; }
done
for tool in Xvfb timeout awk; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
watchdog_pid=""
cleanup() {
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 1' INT TERM

start_watchdog 240 "the benchmark ran over 240 s"

start_x_server "$work" || { echo "Xvfb did not start" >&2; exit 1; }
display=$DISPLAY

# Both programs see the same environment: the X server at 96 dpi, no scaling.
measure() { # PROGRAM [PROBE-OPTIONS...] -> one line of key=value pairs
  local program=$1
  shift
  env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_SCREEN_SCALE_FACTORS \
    -u QT_AUTO_SCREEN_SCALE_FACTOR -u QT_ENABLE_HIGHDPI_SCALING \
    DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    timeout 60 "$probe" --settle-ms "$settle_ms" "$@" -- "$program" 2>>"$work/programs.log"
}

run_one() { # NAME PROGRAM
  local line
  line=$(measure "$2") || {
    echo "$1: no measurement ($line)" >&2
    tail -n 20 "$work/programs.log" >&2
    exit 1
  }
  printf '%-8s %8.1f ms %8d KiB\n' "$1" "$(value map_ms "$line")" "$(value hwm_kb "$line")"
  value map_ms "$line" >>"$work/$1.ms"
  value hwm_kb "$line" >>"$work/$1.kb"
}

echo "X server $display (96 dpi, no window manager); $runs runs each, settle $settle_ms ms"
echo "warm-up (not counted)"
measure "$quimbel" >/dev/null || { echo "quimbel did not start:" >&2; cat "$work/programs.log" >&2; exit 1; }
measure "$twin" >/dev/null || { echo "the twin did not start:" >&2; cat "$work/programs.log" >&2; exit 1; }

echo "program  launch->mapped   VmHWM"
for i in $(seq "$runs"); do
  if [ $((i % 2)) -eq 1 ]; then
    run_one quimbel "$quimbel"
    run_one twin "$twin"
  else
    run_one twin "$twin"
    run_one quimbel "$quimbel"
  fi
done

q_ms=$(median <"$work/quimbel.ms")
m_ms=$(median <"$work/twin.ms")
q_kb=$(median <"$work/quimbel.kb")
m_kb=$(median <"$work/twin.kb")
q_fast=$(sort -g "$work/quimbel.ms" | head -n1)
m_fast=$(sort -g "$work/twin.ms" | head -n1)

echo
echo "medians over $runs runs"
printf '  launch to first window mapped: quimbel %.1f ms, twin %.1f ms (fastest runs: %.1f, %.1f)\n' \
  "$q_ms" "$m_ms" "$q_fast" "$m_fast"
printf '  peak resident memory (VmHWM):  quimbel %d KiB, twin %d KiB\n' "$q_kb" "$m_kb"
echo "  ratio start-up time quimbel/twin: $(ratio "$q_ms" "$m_ms" "$goal")"
echo "  ratio peak memory   quimbel/twin:    $(ratio "$q_kb" "$m_kb" "$goal")"

echo
echo "idle: quimbel left alone for $idle_s s once its window is up"
line=$(measure "$quimbel" --idle-s "$idle_s") || { echo "idle measurement failed" >&2; exit 1; }
echo "  CPU time used while idle: $(value idle_cpu_s "$line") s" \
     "(context switches over all threads: $(value idle_switches "$line"))"
