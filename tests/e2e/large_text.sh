#!/usr/bin/env bash
# A long one-line text pasted into 英寸 (Text1) of the built program, in an X
# server of its own: the program must keep answering, serve the selection and
# the clipboard whole and as plain text, convert the number in front, and
# take keys, each within a bounded wait (a hang guard, not a timing).
#
#   large_text.sh PROGRAM PING-HELPER [OUTPUT-DIR]
#
# E2E_RUNNER, if set, holds the words that start PROGRAM (for the Windows
# build: tools/wine-run.sh --prefix DIR). E2E_NO_PRIMARY=1: the program owns
# no X primary selection (a Windows program: Wine serves its clipboard only),
# so the selection is checked through the copy alone. The helper is
# quimbel_e2e_ping: it
# presses keys and waits for the program to answer a _NET_WM_PING.
# Prints one line per check; on a failure keeps a screenshot and the
# program's output in OUTPUT-DIR and exits 1; exits 77 when a tool is missing.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"
. "$(dirname "${BASH_SOURCE[0]}")/main_window.sh"

usage="usage: large_text.sh PROGRAM PING-HELPER [OUTPUT-DIR]"
program=${1:?$usage}
ping_helper=${2:?$usage}
out_dir=${3:-.}
mkdir -p "$out_dir"

require_tools Xvfb xdotool xclip xwininfo timeout cmp
[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }
[ -x "$ping_helper" ] || { echo "no helper at $ping_helper" >&2; exit 1; }
read -r -a runner <<<"${E2E_RUNNER:-}"

# Three megabytes: before the field kept long lines fast, copying this froze
# the program for about a minute.
megabytes=3
# What any step may take before the program counts as frozen: far above what
# a working program needs, far below the freeze.
hang_s=15

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
owner_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  [ -n "$owner_pid" ] && kill "$owner_pid" 2>/dev/null
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: stopped" >&2; exit 1' INT TERM


fail() {
  echo "FAIL: $*" >&2
  keep_failure "$work/program.log" "$out_dir/large-text-failure"
  exit 1
}
pass() { echo "ok   $*"; }

start_x_server "$work" || fail "Xvfb did not start"

# --- windows ---------------------------------------------------------------------

# Presses the keys and waits for the program to answer three pings in a row.
keys() { # what, keys
  "$ping_helper" --keys "$2" --pings 3 --timeout-ms $((hang_s * 1000)) "$main" >/dev/null 2>>"$work/ping.log" ||
    fail "$1: the program did not answer within $hang_s s"
}

# Reads a selection whole into a file within the bounded wait.
read_selection() { # what, selection, file
  local status
  timeout "$hang_s" xclip -o -selection "$2" >"$3" 2>"$work/xclip.err"
  status=$?
  [ "$status" -eq 124 ] && fail "$1: the $2 selection could not be read within $hang_s s"
  [ "$status" -eq 0 ] || fail "$1: reading the $2 selection failed: $(cat "$work/xclip.err")"
}

declare -A control=(
  [Text1]="1920 240 1575 615" [Text2]="1920 1200 1575 615"
  [Command1]="3840 240 1455 615" [Command3]="5640 240 1455 615"
)
click_control() { # name
  # shellcheck disable=SC2086 # four numbers
  click "$main" ${control[$1]}
}

# The whole text of a field, through select all and copy.
read_field() { # field, file
  printf 'sentinel' | timeout 5 xclip -selection clipboard -i >/dev/null 2>&1
  click_control "$1"
  keys "copying $1" "ctrl+a ctrl+c"
  read_selection "reading $1" clipboard "$2"
}

# --- the run ---------------------------------------------------------------------

{
  printf '17 '
  yes abcdefghij | head -n $((megabytes * 100000)) | tr -d '\n'
} >"$work/text"

env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_SCREEN_SCALE_FACTORS -u QT_IM_MODULE \
  QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" \
  "${runner[@]}" "$program" >"$work/program.log" 2>&1 &
app_pid=$!
await_welcome
focus_window "$WINDOW"
click "$WINDOW" 1680 1560 1335 615
await_main
main=$WINDOW
focus_window "$main"
pass "the main window is up"

# Another program owns the clipboard with the text.
timeout 120 xclip -quiet -selection clipboard -i "$work/text" >/dev/null 2>&1 &
owner_pid=$!
deadline=$(( $(now_ms) + 10000 ))
until timeout 5 xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -qx UTF8_STRING; do
  [ "$(now_ms)" -gt "$deadline" ] && fail "cannot put the text on the clipboard"
  sleep 0.05
done

click_control Text1
keys "pasting $megabytes MB on one line" ctrl+v
pass "pasting $megabytes MB on one line: the program answers"

keys "selecting all of it" ctrl+a
if [ "${E2E_NO_PRIMARY:-}" = 1 ]; then
  echo "skip the selection: this program owns no X primary selection"
else
  read_selection "the selection" primary "$work/primary"
  cmp -s "$work/primary" "$work/text" ||
    fail "the selection reads $(stat -c %s "$work/primary") bytes, not the $(stat -c %s "$work/text") pasted"
  pass "the selection is served whole"
fi

keys "copying it" ctrl+c
read_selection "the copy" clipboard "$work/copy"
cmp -s "$work/copy" "$work/text" ||
  fail "the copy reads $(stat -c %s "$work/copy") bytes, not the $(stat -c %s "$work/text") pasted"
pass "the copy is served whole"
timeout "$hang_s" xclip -o -selection clipboard -t TARGETS >"$work/targets" 2>/dev/null ||
  fail "the copy's formats could not be read within $hang_s s"
others=$(grep -v -x -E 'TARGETS|MULTIPLE|TIMESTAMP|SAVE_TARGETS|UTF8_STRING|STRING|TEXT|COMPOUND_TEXT|text/plain(;charset=utf-8)?' "$work/targets" | tr '\n' ' ')
[ -z "$others" ] || fail "the copy offers more than plain text: $others"
pass "the copy is offered as plain text only"

click_control Command1
read_field Text2 "$work/text2"
[ "$(cat "$work/text2")" = "41.99" ] || fail "英寸换算厘米 on the long text gives '$(head -c 80 "$work/text2")', not 41.99"
pass "英寸换算厘米 reads the 17 in front: 41.99"

# Keys at both ends of the long line, then the whole text read back.
click_control Text1
keys "a key at the end" "ctrl+End x"
keys "a key at the start" "ctrl+Home y"
read_field Text1 "$work/text1"
{ printf 'y'; cat "$work/text"; printf 'x'; } >"$work/typed"
cmp -s "$work/text1" "$work/typed" || fail "after typing at both ends Text1 reads $(stat -c %s "$work/text1") bytes, not $(stat -c %s "$work/typed")"
pass "keys at both ends land there, the rest of the text unchanged"

click_control Command3
click_control Text1
keys "typing after 清除" "ctrl+End numbersign"
read_field Text1 "$work/cleared"
[ "$(cat "$work/cleared")" = "#" ] || fail "after 清除 Text1 reads '$(head -c 80 "$work/cleared")'"
pass "清除 empties the field"
