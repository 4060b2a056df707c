#!/usr/bin/env bash
# Pictures of the Windows field holding texts of many scripts, under Wine on
# an X server of its own: one with every text, then one of each text alone,
# selected from a place inside it; and one with the field's context menu open
# (a right click at a place inside the field where the window opens).
#
#   tests/win32/field_shots.sh BUILD-DIR OUTPUT-DIR
set -euo pipefail
build=$(cd "${1:?usage: field_shots.sh BUILD-DIR OUTPUT-DIR}" && pwd)
out=${2:?usage: field_shots.sh BUILD-DIR OUTPUT-DIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
show=$build/tests/win32/quimbel_field_show.exe
[ -f "$show" ] || { echo "no $show: build the target quimbel_field_show" >&2; exit 1; }
names=(all chinese linked arabic hebrew devanagari thai emoji)

xvfb-run -a -s "-screen 0 1024x640x24" bash -c '
  repo=$1 build=$2 show=$3 out=$4; shift 4
  shot() { # argument, name
    "$repo/tools/wine-run.sh" --prefix "$build/wine-prefix" "$show" $1 >/dev/null 2>&1 &
    local pid=$!
    sleep 12
    import -window root "$out/text-$2.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  }
  shot "" "$1"; shift
  # The context menu, as a right click in the field opens it.
  "$repo/tools/wine-run.sh" --prefix "$build/wine-prefix" "$show" >/dev/null 2>&1 &
  pid=$!
  sleep 12
  xdotool mousemove 420 360 click 3
  sleep 2
  import -window root "$out/text-menu.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  i=0
  for name in "$@"; do shot "$i" "$name-selected"; i=$((i + 1)); done
  "$repo/tools/wine-run.sh" --prefix "$build/wine-prefix" --stop' \
  shots "$repo" "$build" "$show" "$out" "${names[@]}"
ls "$out"/text-*.png
