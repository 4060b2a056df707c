#!/usr/bin/env bash
# A long text pasted into 英寸 (Text1): how long the paste takes, how fast the
# selection and the clipboard are served, the CPU a focused field uses while
# nobody types, how long a key takes, and the memory it costs and gives back.
# The built program runs in an X server of its own, driven from outside as a
# user would (xdotool, xclip, and a ping helper that times the program's
# answers to _NET_WM_PING).
#
#   bench/run_large_text_bench.sh BACKEND PROGRAM [SIZES-MB...]
#
#   BACKEND  qt     the program runs as it is (QT_QPA_PLATFORM=xcb)
#            win32  the program runs under Wine, through tools/wine-run.sh in
#                   the prefix of its build tree (BUILD-DIR/wine-prefix)
#   SIZES-MB text sizes in MB (default: 1 10); each size runs as one line and
#            as lines of 80 characters, and the one line is pasted and deleted
#            20 times ("cycles": the memory the field's history keeps), each
#            in a fresh program; and with SHAPES holding "blanks", as one line
#            of blanks between "x" and "y".
#
# e.g.  bench/run_large_text_bench.sh qt build/program/quimbel
#       bench/run_large_text_bench.sh win32 build-windows/program/quimbel.exe
#
# Environment: BENCH_RUNNER, the words that start PROGRAM instead (e.g.
# "wine"); PING_HELPER (default: the one the build in ./build made, else
# compiled from tests/e2e/ping_window.cpp), STEP_TIMEOUT seconds a step may
# take before it counts as a freeze (default 60), IDLE_S (default 10),
# SHAPES (default "line lines cycles"; "blanks" too, see above), CYCLES (default 20), TSV=FILE to append the figures as
# tab-separated lines.
#
# Prints one table per text: each figure, its goal and PASS/FAIL. Exits 1
# when something could not be measured at all; missed goals are reported, not
# an error.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/x_server.sh"

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
usage="usage: run_large_text_bench.sh qt|win32 PROGRAM [SIZES-MB...]"
backend=${1:?$usage}
program=${2:?$usage}
shift 2
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 10)
step_timeout=${STEP_TIMEOUT:-60}
idle_s=${IDLE_S:-10}

[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
case "$backend" in
  qt) runner=() ;;
  win32)
    build_dir=$(dirname "$program")
    until [ -f "$build_dir/CMakeCache.txt" ] || [ "$build_dir" = / ]; do build_dir=$(dirname "$build_dir"); done
    runner=("$repo/tools/wine-run.sh" --prefix "$build_dir/wine-prefix")
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
[ -n "${BENCH_RUNNER:-}" ] && read -r -a runner <<<"$BENCH_RUNNER"
for tool in Xvfb xdotool xclip xwininfo timeout awk cmp fold; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (tools/dev.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 1' INT TERM

ping_helper=${PING_HELPER:-$repo/build/tests/e2e/quimbel_e2e_ping}
if [ ! -x "$ping_helper" ]; then
  ping_helper=$work/ping
  c++ -std=c++20 -O2 -o "$ping_helper" "$repo/tests/e2e/ping_window.cpp" -lX11 -ldl ||
    { echo "cannot build the ping helper" >&2; exit 1; }
fi


start_x_server "$work" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }

# --- the windows, from the designs (twips / 15 = pixels at 96 dpi) -------------

title="Quimbel V2.3"
welcome_size="306 202"   # Form4 client 4590 x 3030
main_size="490 298"      # Form1 client 7350 x 4470
ok_centre="156 123"      # Form4 Command1 at 1680,1560 1335x615
text1_centre="180 36"    # Form1 Text1 at 1920,240 1575x615
clear_centre="424 36"    # Form1 Command3 (清除) at 5640,240 1455x615

# Without a window manager a Qt window is its client area; a Wine window
# draws its own frame: the first window tells how wide (equal sides and
# bottom, the caption on top).
frame_w=0 frame_h=0 frame_left=0 frame_top=0

window_size() { # window -> "width height"
  timeout 5 xwininfo -id "$1" 2>/dev/null | awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}'
}

# The id of the visible window with this title and client size.
window_sized() { # width height
  local id
  for id in $(timeout 5 xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
    [ "$(window_size "$id")" = "$(($1 + frame_w)) $(($2 + frame_h))" ] && { echo "$id"; return 0; }
  done
  return 1
}

await_window() { # width height seconds
  local deadline=$(( $(now_ms) + $3 * 1000 )) id
  until id=$(window_sized "$1" "$2"); do
    [ "$(now_ms)" -gt "$deadline" ] && return 1
    sleep 0.05
  done
  echo "$id"
}

# The first window of the program, the welcome dialog, alone: its id in
# FIRST_WINDOW, and the frame learned from it.
FIRST_WINDOW=""
await_first_window() { # seconds
  local deadline=$(( $(now_ms) + $1 * 1000 )) id w h
  until id=$(timeout 5 xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1) && [ -n "$id" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && return 1
    sleep 0.05
  done
  read -r w h <<<"$(window_size "$id")"
  read -r cw ch <<<"$welcome_size"
  frame_w=$((w - cw)) frame_h=$((h - ch))
  frame_left=$((frame_w / 2)) frame_top=$((frame_h - frame_w / 2))
  FIRST_WINDOW=$id
}

click_at() { # window, x y within its client area
  local origin
  origin=$(timeout 5 xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')
  read -r ox oy <<<"$origin"
  timeout 5 xdotool mousemove $((ox + frame_left + $2)) $((oy + frame_top + $3)) click 1
}

focus() { # window
  timeout 5 xdotool windowfocus "$1" 2>/dev/null
  for _ in $(seq 100); do
    [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" = "$1" ] && return 0
    sleep 0.02
  done
  return 1
}

# Milliseconds from pressing the keys to the program's answer to three pings
# in a row; empty when it did not answer within the step timeout.
timed_keys() { # window, keys ("" for none)
  local args=() ms
  [ -n "$2" ] && args=(--keys "$2")
  ms=$("$ping_helper" "${args[@]}" --pings 3 --timeout-ms $((step_timeout * 1000)) "$1" 2>>"$work/ping.log") ||
    return 1
  echo "$ms"
}

# Reads a selection into a file; prints the milliseconds it took, ">TIMEOUT"
# when it did not finish within the step timeout, "none" when nobody offers it
# as text (a Windows program under Wine owns no PRIMARY selection).
timed_read() { # selection, output file
  local t0 t1 rc
  t0=$(date +%s%N)
  timeout "$step_timeout" xclip -o -selection "$1" >"$2" 2>/dev/null
  rc=$?
  t1=$(date +%s%N)
  [ $rc -eq 0 ] || { [ $rc -eq 124 ] && echo ">${step_timeout}000" || echo none; return 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'
}

# The row of a selection read: within 500 ms and the whole text, or FAIL.
selection_row() { # figure, selection, output file, text file
  local ms verdict
  if ms=$(timed_read "$2" "$3"); then
    verdict=$(verdict_le "$ms" 500)
    cmp -s "$3" "$4" || { ms="$ms (wrong text: $(stat -c %s "$3") bytes)"; verdict=FAIL; }
  else
    verdict=FAIL
  fi
  row "$1" "$ms" ms "<= 500, whole text" "$verdict"
}

# Owns a selection with a short text from another program until the case ends.
own_selection() { # selection
  printf 'other' | timeout $((step_timeout * 4)) xclip -quiet -selection "$1" -i >/dev/null 2>&1 &
  owners+=($!)
}

status_kb() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$app_pid/status"; }

cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$app_pid/stat"; }

# Plain text only: the targets a text owner lists for plain text and the
# selection protocol's own; anything else (HTML, Markdown, ODF, RTF) is not.
plain_targets() { # targets file -> the others, one line
  grep -v -x -E 'TARGETS|MULTIPLE|TIMESTAMP|SAVE_TARGETS|UTF8_STRING|STRING|TEXT|COMPOUND_TEXT|text/plain(;charset=utf-8)?' "$1" |
    tr '\n' ' '
}

# --- one row of the table ---------------------------------------------------------

rows=()
owners=()
row() { # figure, measured, unit, goal text, verdict
  rows+=("$(printf '  %-44s %12s %-4s %-22s %s' "$1" "$2" "$3" "$4" "$5")")
  [ -n "${TSV:-}" ] && printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$backend" "$case_name" "$1" "$2" "$3" "$4" "$5" >>"$TSV"
}
verdict_le() { awk -v v="$1" -v g="$2" 'BEGIN { print (v != "" && v + 0 <= g + 0) ? "PASS" : "FAIL" }'; }
verdict_lt() { awk -v v="$1" -v g="$2" 'BEGIN { print (v != "" && v + 0 < g + 0) ? "PASS" : "FAIL" }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# A fresh program, its main window open with the focus in 英寸 (Text1), and
# TEXT on the clipboard from another program: LAUNCHED, MAIN_WINDOW,
# IDLE_RSS and IDLE_HWM (kB, before the paste), CLIPBOARD_OWNER.
start_program() { # text file
  : >"$work/program.log"
  env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_SCREEN_SCALE_FACTORS -u QT_IM_MODULE \
    QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" WINEDEBUG=-all \
    "${runner[@]}" "$program" >"$work/program.log" 2>&1 &
  LAUNCHED=$!
  local welcome
  await_first_window 60 || { echo "no welcome dialog" >&2; cat "$work/program.log" >&2; return 1; }
  welcome=$FIRST_WINDOW
  # The program's own process: under wine it is not the one launched.
  app_pid=$(timeout 5 xdotool getwindowpid "$welcome" 2>/dev/null || echo "$LAUNCHED")
  focus "$welcome"
  # shellcheck disable=SC2086 # two numbers
  click_at "$welcome" $ok_centre
  # shellcheck disable=SC2086 # two numbers
  MAIN_WINDOW=$(await_window $main_size 30) || { echo "OK did not open the main window" >&2; return 1; }
  focus "$MAIN_WINDOW" || { echo "the main window does not take the focus" >&2; return 1; }
  # shellcheck disable=SC2086 # two numbers
  click_at "$MAIN_WINDOW" $text1_centre
  timed_keys "$MAIN_WINDOW" "" >/dev/null || { echo "the program does not answer pings" >&2; return 1; }
  sleep 1
  IDLE_RSS=$(status_kb VmRSS)
  IDLE_HWM=$(status_kb VmHWM)

  # The text on the clipboard, from another program.
  timeout $((step_timeout * 4)) xclip -quiet -selection clipboard -i "$1" >/dev/null 2>&1 &
  CLIPBOARD_OWNER=$!
  # Asks for the list of formats only: a reader that stops early would leave
  # xclip stuck in a long transfer.
  for _ in $(seq 200); do
    timeout 5 xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -qx UTF8_STRING && break
    sleep 0.05
  done
}

# Prints the table of one case.
print_case() { # bytes, idle rss kB, idle hwm kB
  echo
  echo "$case_name ($1 bytes; idle VmRSS $(mb "$2") MB, VmHWM $(mb "$3") MB)"
  printf '  %-44s %12s %-4s %-22s %s\n' figure measured "" goal ""
  printf '%s\n' "${rows[@]}"
}

# --- one run: a fresh program, one text ----------------------------------------

run_case() { # MB, shape (line|lines|blanks)
  local size=$1 shape=$2 text=$work/text.txt bytes paste_limit
  case $shape in
    line) case_name="$size MB on one line" ;;
    lines) case_name="$size MB in 80-character lines" ;;
    blanks) case_name="$size MB of blanks on one line" ;;
    *) echo "unknown shape $shape" >&2; return 1 ;;
  esac
  rows=()
  if [ "$shape" = blanks ]; then
    # A run of blanks far wider than the field, keys typed at both its ends.
    { printf 'x'; head -c $((size * 1000000)) /dev/zero | tr '\0' ' '; printf 'y'; } >"$text"
  else
    {
      printf '17 '
      yes abcdefghij | head -n $((size * 100000)) | tr -d '\n'
    } >"$work/one.txt"
    if [ "$shape" = line ]; then mv "$work/one.txt" "$text"; else fold -w 80 "$work/one.txt" >"$text"; fi
  fi
  bytes=$(stat -c %s "$text")
  paste_limit=$(( size >= 10 ? 5000 : 1000 ))

  start_program "$text" || return 1
  local launched=$LAUNCHED main=$MAIN_WINDOW idle_rss=$IDLE_RSS idle_hwm=$IDLE_HWM owner=$CLIPBOARD_OWNER

  local frozen="" paste_ms cpu_pct select_ms copy_ms key_end_ms key_start_ms
  local peak_kb clear_owned_kb clear_kb others
  paste_ms=$(timed_keys "$main" ctrl+v) || frozen="the paste"
  row "paste until the window answers" "${paste_ms:->$((step_timeout * 1000))}" ms "<= $paste_limit" \
    "$(verdict_le "${paste_ms:-}" $paste_limit)"
  if [ -z "$frozen" ]; then
    sleep 2
    local t0 t1
    t0=$(cpu_ticks)
    sleep "$idle_s"
    t1=$(cpu_ticks)
    cpu_pct=$(awk -v a="$t0" -v b="$t1" -v hz="$(getconf CLK_TCK)" -v s="$idle_s" \
      'BEGIN { printf "%.2f", (b - a) / hz / s * 100 }')
    row "CPU, focused field, nobody typing" "$cpu_pct" % "< 1" "$(verdict_lt "$cpu_pct" 1)"

    select_ms=$(timed_keys "$main" ctrl+a) || frozen="select all"
  fi
  if [ -z "$frozen" ]; then
    row "select all (ctrl+a) until the window answers" "$select_ms" ms "(no goal)" ""
    if [ "$backend" = win32 ]; then
      # Windows has no selection of its own for other programs to read: a
      # user shares text through the clipboard only.
      row "selection (PRIMARY) read by another program" "n/a" "" "(none on Windows)" ""
    else
      selection_row "selection (PRIMARY) read by another program" primary "$work/primary.out" "$text"
    fi
    copy_ms=$(timed_keys "$main" ctrl+c) || frozen="copy"
  fi
  if [ -z "$frozen" ]; then
    row "copy (ctrl+c) until the window answers" "$copy_ms" ms "(no goal)" ""
    selection_row "clipboard read by another program" clipboard "$work/clipboard.out" "$text"
    timeout 10 xclip -o -selection clipboard -t TARGETS >"$work/targets" 2>/dev/null
    others=$(plain_targets "$work/targets")
    row "clipboard formats besides plain text" "${others:-none}" "" "none" \
      "$([ -z "$others" ] && echo PASS || echo FAIL)"

    # A key at the end (where the paste left the caret) and at the start.
    timed_keys "$main" ctrl+End >/dev/null || frozen="ctrl+End"
  fi
  if [ -z "$frozen" ]; then
    key_end_ms=$(timed_keys "$main" x) || frozen="a key at the end"
  fi
  if [ -z "$frozen" ]; then
    row "a key typed at the end" "$key_end_ms" ms "< 100" "$(verdict_lt "$key_end_ms" 100)"
    timed_keys "$main" ctrl+Home >/dev/null || frozen="ctrl+Home"
  fi
  if [ -z "$frozen" ]; then
    key_start_ms=$(timed_keys "$main" y) || frozen="a key at the start"
  fi
  if [ -z "$frozen" ]; then
    row "a key typed at the start" "$key_start_ms" ms "< 100" "$(verdict_lt "$key_start_ms" 100)"
    peak_kb=$(( $(status_kb VmHWM) - idle_hwm ))
    row "peak memory over idle (VmHWM)" "$(mb $peak_kb)" MB "<= 30 x text = $(mb $((30 * bytes / 1024)))" \
      "$(verdict_le "$peak_kb" $((30 * bytes / 1024)))"

    # 清除, while the program still holds the copy on the clipboard, then once
    # another program has copied something (the copy is released).
    # shellcheck disable=SC2086 # two numbers
    click_at "$main" $clear_centre
    timed_keys "$main" "" >/dev/null || frozen="清除"
  fi
  if [ -z "$frozen" ]; then
    sleep 1
    clear_owned_kb=$(( $(status_kb VmRSS) - idle_rss ))
    row "after 清除, copy still held, over idle (VmRSS)" "$(mb $clear_owned_kb)" MB "(no goal)" ""
    own_selection clipboard
    own_selection primary
    timed_keys "$main" "" >/dev/null
    sleep 1
    clear_kb=$(( $(status_kb VmRSS) - idle_rss ))
    row "after 清除 and another copy, over idle (VmRSS)" "$(mb $clear_kb)" MB "<= 10" \
      "$(verdict_le "$clear_kb" 10240)"
  else
    row "not measured: the program did not answer within ${step_timeout} s" "" "" "" "FAIL"
    row "  (step: $frozen)" "" "" "" ""
  fi

  kill -KILL "$app_pid" "$launched" 2>/dev/null
  wait "$launched" 2>/dev/null
  kill "$owner" "${owners[@]}" 2>/dev/null
  wait "$owner" "${owners[@]}" 2>/dev/null
  owners=()
  app_pid=""
  print_case "$bytes" "$idle_rss" "$idle_hwm"
}

# The one line pasted and deleted again and again, in a fresh program: every
# paste and deletion is an edit the field's history may keep, so the memory
# shows whether that history is bounded. The peak has the same goal as one
# paste's: what the cycles keep stays within it.
run_cycles_case() { # MB
  local size=$1 text=$work/text.txt bytes cycles=${CYCLES:-20} frozen="" cycle t0 t1
  case_name="$size MB on one line, pasted and deleted $cycles times"
  rows=()
  {
    printf '17 '
    yes abcdefghij | head -n $((size * 100000)) | tr -d '\n'
  } >"$text"
  bytes=$(stat -c %s "$text")
  start_program "$text" || return 1
  local launched=$LAUNCHED main=$MAIN_WINDOW idle_rss=$IDLE_RSS idle_hwm=$IDLE_HWM owner=$CLIPBOARD_OWNER
  local paste_ms=0 delete_ms=0 ms
  t0=$(now_ms)
  for cycle in $(seq "$cycles"); do
    ms=$(timed_keys "$main" ctrl+v) || { frozen="paste $cycle"; break; }
    paste_ms=$((paste_ms + ${ms%.*}))
    timed_keys "$main" ctrl+a >/dev/null || { frozen="select all $cycle"; break; }
    ms=$(timed_keys "$main" Delete) || { frozen="delete $cycle"; break; }
    delete_ms=$((delete_ms + ${ms%.*}))
  done
  t1=$(now_ms)
  if [ -z "$frozen" ]; then
    row "$cycles cycles until the window answers" "$((t1 - t0))" ms "(no goal)" ""
    row "  of which the pastes" "$paste_ms" ms "(no goal)" ""
    row "  of which the deletions" "$delete_ms" ms "(no goal)" ""
    local peak_kb=$(( $(status_kb VmHWM) - idle_hwm ))
    row "peak memory over idle (VmHWM)" "$(mb $peak_kb)" MB "<= 30 x text = $(mb $((30 * bytes / 1024)))" \
      "$(verdict_le "$peak_kb" $((30 * bytes / 1024)))"
    row "after the last cycle, over idle (VmRSS)" "$(mb $(( $(status_kb VmRSS) - idle_rss )))" MB "(no goal)" ""
  else
    row "not measured: the program did not answer within ${step_timeout} s" "" "" "" "FAIL"
    row "  (step: $frozen)" "" "" "" ""
  fi
  kill -KILL "$app_pid" "$launched" 2>/dev/null
  wait "$launched" 2>/dev/null
  kill "$owner" 2>/dev/null
  wait "$owner" 2>/dev/null
  app_pid=""
  print_case "$bytes" "$idle_rss" "$idle_hwm"
}

echo "backend $backend: $program"
echo "X server $DISPLAY (96 dpi, no window manager); step timeout ${step_timeout} s; idle ${idle_s} s"
for size in "${sizes[@]}"; do
  for shape in ${SHAPES:-line lines cycles}; do
    if [ "$shape" = cycles ]; then
      run_cycles_case "$size" || exit 1
    else
      run_case "$size" "$shape" || exit 1
    fi
  done
done
