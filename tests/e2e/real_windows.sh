#!/usr/bin/env bash
# Runs the built program in an X server of its own and drives it only from
# outside, as a user would: mouse clicks at the designed places of the
# controls, typing on the keyboard, and reading a field by selecting all of it
# and copying it to the clipboard.
#
#   real_windows.sh PROGRAM SEND-CLOSE-HELPER [OUTPUT-DIR]
#
# E2E_RUNNER, if set, holds the words that start PROGRAM (for the Windows
# build: tools/wine-run.sh --prefix DIR); E2E_TIME_LIMIT the seconds the whole
# run may take (default 80).
# No window manager runs, so the script gives windows the input focus itself
# and closes a window with a WM_DELETE_WINDOW message sent by the helper.
# Prints one line per check. On a failure it prints what was expected and what
# was read, keeps a screenshot and the program's output in OUTPUT-DIR, and
# exits 1; exits 77 when a tool it needs is missing. The Linux program's run
# also leaves OUTPUT-DIR/linux-menu.png, a field's context menu.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"

program=${1:?usage: real_windows.sh PROGRAM SEND-CLOSE-HELPER [OUTPUT-DIR]}
send_close=${2:?usage: real_windows.sh PROGRAM SEND-CLOSE-HELPER [OUTPUT-DIR]}
out_dir=${3:-.}
mkdir -p "$out_dir"

require_tools Xvfb xdotool xclip xwininfo timeout
[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }
read -r -a runner <<<"${E2E_RUNNER:-}"
time_limit=${E2E_TIME_LIMIT:-80}
[ -x "$send_close" ] || { echo "no helper at $send_close" >&2; exit 1; }

started=$(date +%s%N)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
watchdog_pid=""
run_name=""

cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
stopped() {
  echo "FAIL [$run_name]: stopped by SIG$1 after $(( ($(date +%s%N) - started) / 1000000000 )) s" >&2
  exit 1
}
trap 'stopped INT' INT
trap 'stopped TERM' TERM

start_watchdog "$time_limit" "FAIL: the whole test ran over $time_limit s"


fail() {
  echo "FAIL [$run_name]: $*" >&2
  if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then
    wait "$app_pid"
    echo "the program had ended, with status $?" >&2
    app_pid=""
  fi
  echo "windows on the screen:" >&2
  visible_windows >&2
  keep_failure "$work/program.log" "$out_dir/e2e-failure"
  exit 1
}

pass() { echo "ok   [$run_name] $*"; }

# --- the X server -------------------------------------------------------------

start_x_server "$work" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
echo "X server on $DISPLAY"

# --- window helpers -----------------------------------------------------------


# Without a window manager Qt's X windows are the client areas alone, while
# Wine draws each window's frame into its X window: FRAME holds the frame's
# left, top, right and bottom widths, the same for every window (they share
# one frame style), found from the first window.
FRAME=(0 0 0 0)

# Window geometry in pixels from the design in twips, as "x y width height".
design_geometry() { # client width, height, left, top (twips)
  echo "$(($3 / 15 - FRAME[0])) $(($4 / 15 - FRAME[1])) $(($1 / 15 + FRAME[0] + FRAME[2])) $(($2 / 15 + FRAME[1] + FRAME[3]))"
}

# Reads the frame widths off the one visible window, whose client area must
# be at its design place and of its design size.
learn_frame() { # client width, height, left, top (twips)
  local deadline=$(( $(now_ms) + 30000 )) lines x y w h
  while :; do
    lines=$(visible_windows)
    [ "$(wc -l <<<"$lines")" -eq 1 ] && [ -n "$lines" ] && break
    [ "$(now_ms)" -gt "$deadline" ] && fail "no single first window appeared within 30 s (saw: ${lines:-none})"
    sleep 0.1
  done
  read -r _ x y w h _ <<<"$lines"
  FRAME=($(($3 / 15 - x)) $(($4 / 15 - y)) $((w - $1 / 15 - ($3 / 15 - x))) $((h - $2 / 15 - ($4 / 15 - y))))
  local side
  for side in "${FRAME[@]}"; do
    [ "$side" -ge 0 ] && [ "$side" -le 60 ] ||
      fail "the first window is not where its design puts it: $lines (frame ${FRAME[*]})"
  done
  echo "window frame (left top right bottom): ${FRAME[*]} px"
}

# Polls until the visible windows, as "x y width height name" lines sorted,
# equal the expected lines; fails after 10 s.
expect_windows() {
  local what=$1 expected=$2 seen deadline=$(( $(now_ms) + 10000 ))
  while :; do
    seen=$(visible_windows | cut -d' ' -f2- | sort)
    [ "$seen" = "$expected" ] && { pass "$what"; return; }
    [ "$(now_ms)" -gt "$deadline" ] &&
      fail "$what: expected windows (x y w h caption) with the frame ${FRAME[*]}:
$expected
but saw:
${seen:-<none>}"
    sleep 0.05
  done
}

# The id of the visible window with this geometry and caption.
window_at() {
  visible_windows | awk -v want="$1" '{id=$1; $1=""; sub(/^ /, ""); if ($0 == want) print id}' |
    head -n1
}

# Without a window manager nothing moves a window once it is mapped, so each
# window's origin is looked up once.
declare -A origin=()
WIN_X=0 WIN_Y=0
window_origin() {
  local line
  if [ -z "${origin[$1]-}" ]; then
    line=$(visible_windows | awk -v id="$1" '$1 == id')
    [ -n "$line" ] || fail "window $1 is not visible"
    origin[$1]=$(cut -d' ' -f2,3 <<<"$line")
  fi
  read -r WIN_X WIN_Y <<<"${origin[$1]}"
}

# POINT: the xdotool words that click the centre of a control. Pressing twice
# in the same place within the double-click time (400 ms in Qt) would select
# a word in a field instead, so a repeated click there waits.
POINT=()
last_click=""
last_click_ms=0
aim() { # window, control left top width height (twips)
  local x y wait_ms
  window_origin "$1"
  x=$(( WIN_X + FRAME[0] + $2 / 15 + ($4 / 15) / 2 ))
  y=$(( WIN_Y + FRAME[1] + $3 / 15 + ($5 / 15) / 2 ))
  if [ "$last_click" = "$x,$y" ]; then
    wait_ms=$(( last_click_ms + 600 - $(now_ms) ))
    [ "$wait_ms" -gt 0 ] && sleep "$(printf '0.%03d' "$wait_ms")"
  fi
  last_click="$x,$y"
  last_click_ms=$(now_ms)
  # No --sync: it waits for the pointer to move, for ever when it is there
  # already. The server handles the move before the press anyway.
  POINT=(mousemove "$x" "$y" click 1)
}


# Runs xdotool with the window holding the input focus first.
xdo() { # window, xdotool words...
  local win=$1; shift
  focus_window "$win"
  timeout 10 xdotool "$@" || fail "xdotool $* failed"
}

click_control() { # window, control left top width height (twips)
  aim "$@"
  timeout 5 xdotool "${POINT[@]}" || fail "cannot click: xdotool ${POINT[*]}"
}

keys() { # window, keys...
  local win=$1; shift
  xdo "$win" key "$@"
}

type_text() { # window, ASCII text
  xdo "$1" type --delay 20 -- "$2"
}

# --- clipboard ----------------------------------------------------------------

CLIP=""
read_clipboard() {
  local text
  text=$(timeout 2 xclip -o -selection clipboard 2>/dev/null; printf '.') || true
  CLIP=${text%.}
}

# A fresh text nobody else would copy, so an old clipboard never reads back as
# the field's text. Waits until the clipboard holds it.
sentinel_count=0
SENTINEL=""
set_sentinel() {
  local deadline=$(( $(now_ms) + 5000 ))
  sentinel_count=$((sentinel_count + 1))
  SENTINEL="<e2e clipboard sentinel $sentinel_count>"
  printf '%s' "$SENTINEL" | timeout 5 xclip -selection clipboard -i >/dev/null 2>&1
  while read_clipboard; [ "$CLIP" != "$SENTINEL" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "cannot put a text on the clipboard"
    sleep 0.02
  done
}

# Polls until the clipboard holds something other than the sentinel for which
# the test (glob pattern) holds; returns 1 after timeout_ms.
wait_clipboard() { # timeout_ms, pattern
  local deadline=$(( $(now_ms) + $1 ))
  while :; do
    read_clipboard
    # shellcheck disable=SC2053 # the pattern is a glob on purpose
    [ "$CLIP" != "$SENTINEL" ] && [[ $CLIP == $2 ]] && return 0
    [ "$(now_ms)" -gt "$deadline" ] && return 1
    sleep 0.03
  done
}

# --- Form1 and its controls -------------------------------------------------------

declare -A control=(
  [Text1]="1920 240 1575 615" [Text2]="1920 1200 1575 615"
  [Text3]="1920 2400 1575 615" [Text4]="1920 3360 1575 615"
  [Command1]="3840 240 1455 615" [Command2]="3840 1200 1455 615"
  [Command3]="5640 240 1455 615" [Command4]="5640 1200 1455 615"
)
form1=""

click() { # control name of Form1
  # shellcheck disable=SC2086 # four numbers
  click_control "$form1" ${control[$1]}
}

aim_at() { # control name of Form1
  # shellcheck disable=SC2086 # four numbers
  aim "$form1" ${control[$1]}
}

# Replaces the whole text of a field.
set_field() { # field, ASCII text
  aim_at "$1"
  if [ -n "$2" ]; then
    xdo "$form1" "${POINT[@]}" key ctrl+a type --delay 20 -- "$2"
  else
    xdo "$form1" "${POINT[@]}" key ctrl+a BackSpace
  fi
}

# Reads a field: click in it, select all, copy. Copying an empty field leaves
# the clipboard as it was, which cannot tell "empty" from "copy failed"; then a
# marker typed at the end and copied with the text tells, and is taken out
# again. `expect` only picks the quicker road first; the value is always read.
FIELD=""
read_field() { # field, expected value
  local field=$1 expect=$2
  aim_at "$field"
  if [ -n "$expect" ]; then
    set_sentinel
    xdo "$form1" "${POINT[@]}" key ctrl+a ctrl+c
    if wait_clipboard 3000 '*'; then
      FIELD=$CLIP
      return
    fi
    POINT=()
  fi
  set_sentinel
  xdo "$form1" "${POINT[@]}" key ctrl+End numbersign ctrl+a ctrl+c
  wait_clipboard 3000 '*#' ||
    fail "cannot read $field: nothing it holds reaches the clipboard (last read '$CLIP')"
  xdo "$form1" key ctrl+End BackSpace
  FIELD=${CLIP%#}
}

expect_field() { # field, expected value, what
  read_field "$1" "$2"
  [ "$FIELD" = "$2" ] || fail "$3: $1 expected '$2' but read '$FIELD'"
}

# Checks all four fields against "Text1|Text2|Text3|Text4".
expect_fields() { # expected, what
  local -a want
  IFS='|' read -r -d '' -a want <<<"$1|" || true
  expect_field Text1 "${want[0]-}" "$2"
  expect_field Text2 "${want[1]-}" "$2"
  expect_field Text3 "${want[2]-}" "$2"
  expect_field Text4 "${want[3]-}" "$2"
  pass "$2"
}

# --- the program --------------------------------------------------------------

start_program() { # extra environment assignments...
  : >"$work/program.log"
  env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_SCREEN_SCALE_FACTORS \
    -u QT_AUTO_SCREEN_SCALE_FACTOR -u QT_ENABLE_HIGHDPI_SCALING -u QT_IM_MODULE \
    QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" "$@" \
    "${runner[@]}" "$program" >"$work/program.log" 2>&1 &
  app_pid=$!
}

# Polls until the program has ended (within 10 s) and checks its exit status.
expect_exit() { # what
  local deadline=$(( $(now_ms) + 10000 )) state status
  while kill -0 "$app_pid" 2>/dev/null; do
    state=$(awk '{print $3}' "/proc/$app_pid/stat" 2>/dev/null)
    [ "$state" = Z ] && break
    [ "$(now_ms)" -gt "$deadline" ] && fail "$1: the program is still running after 10 s"
    sleep 0.05
  done
  wait "$app_pid"
  status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "$1: exit status expected 0 but was $status"
  # A handler that fails is reported on standard error and the program goes on.
  if grep -q '^quimbel:' "$work/program.log"; then
    fail "$1: the program reported errors: $(grep '^quimbel:' "$work/program.log")"
  fi
  pass "$1: the program ended with status 0"
}

set_window_geometries() {
  welcome_window="$(design_geometry 4590 3030 9540 5295) Quimbel V2.3"
  main_window="$(design_geometry 7350 4470 2835 2910) Quimbel V2.3"
  inch_prompt="$(design_geometry 3735 1845 7995 5580) 提示"
  cm_prompt="$(design_geometry 3735 1845 7995 5445) 提示"
}
set_window_geometries
frame_known=""
welcome_ok="1680 1560 1335 615"
prompt_ok="1320 960 1215 495"

# Starts the program, checks the welcome dialog and goes on to Form1 with OK.
open_main_window() {
  local welcome
  if [ -z "$frame_known" ]; then
    learn_frame 4590 3030 9540 5295
    set_window_geometries
    frame_known=1
  fi
  expect_windows "the welcome dialog is the one window, at its place" "$welcome_window"
  welcome=$(window_at "$welcome_window")
  # shellcheck disable=SC2086 # four numbers
  click_control "$welcome" $welcome_ok
  expect_windows "OK on the welcome dialog shows Form1 and closes the dialog" "$main_window"
  form1=$(window_at "$main_window")
}

sorted() { printf '%s\n' "$@" | sort; }

# A click in the main window brings it in front of the prompts on Windows,
# as there it should; a user then clicks a prompt's title bar where the main
# window leaves it free, to the right of it. Qt's windows, drawn without a
# window manager, have no title bar and keep their stacking.
bring_to_front() { # window
  local line x y w h main_right
  [ "${FRAME[1]}" -gt 0 ] || return 0
  line=$(visible_windows | awk -v id="$1" '$1 == id')
  read -r _ x y w h _ <<<"$line"
  main_right=$(visible_windows | awk -v id="$form1" '$1 == id {print $2 + $4}')
  x=$(( main_right + 5 > x + 5 ? main_right + 5 : x + 5 ))
  [ "$x" -lt $(( ${line:+$(cut -d' ' -f2 <<<"$line")} + w - 60 )) ] ||
    fail "no free part of window $1's title bar to click"
  timeout 5 xdotool mousemove "$x" $(( y + FRAME[1] / 2 )) click 1 ||
    fail "cannot click the title bar of window $1"
  focus_window "$1"
}

# Clicks a button of Form1 that shows a prompt and waits for the prompt to be
# visible and to have taken the input focus, as the program gives it. Typing
# for Form1 right after could otherwise race with that hand-over and land in
# the prompt. A prompt that does not take the focus only costs the wait.
click_for_prompt() { # button, prompt geometry and caption
  local prompt deadline=$(( $(now_ms) + 10000 ))
  click "$1"
  until prompt=$(window_at "$2"); [ -n "$prompt" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "$1 on empty input: no prompt at '$2'"
    sleep 0.05
  done
  deadline=$(( $(now_ms) + 3000 ))
  until [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" = "$prompt" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && { echo "note: the prompt did not take the input focus"; return; }
    sleep 0.02
  done
}

# "x y width height" of a visible top-level window of the program other than
# the one given: a menu, which has no title (WM_NAME) that visible_windows
# could find it by.
popup_window() { # window
  local id
  for id in $(timeout 5 xdotool search --onlyvisible --maxdepth 1 --classname . 2>/dev/null); do
    [ "$id" = "$1" ] && continue
    timeout 5 xwininfo -id "$id" 2>/dev/null | awk '
      /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
      /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
      END {if (w != "") print x, y, w, h}'
    return
  done
}

# A right-click in a field of the Linux program shows Qt's context menu, in
# Chinese whatever the locale: kept as OUTPUT-DIR/linux-menu.png, the main
# window with the menu over it, for a person to look at. Escape closes it.
field_menu_screenshot() { # field
  local line deadline=$(( $(now_ms) + 10000 )) left top right bottom
  local x y w h mx my mw mh
  aim_at "$1"
  # A selection turns on Cut, Copy and Delete.
  xdo "$form1" "${POINT[@]}" key ctrl+a
  timeout 5 xdotool click 3 || fail "cannot right-click $1"
  until line=$(popup_window "$form1"); [ -n "$line" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "a right-click in $1 shows no context menu"
    sleep 0.05
  done
  read -r mx my mw mh <<<"$line"
  read -r _ x y w h _ <<<"$(visible_windows | awk -v main="$form1" '$1 == main')"
  left=$(( x < mx ? x : mx )) top=$(( y < my ? y : my ))
  right=$(( x + w > mx + mw ? x + w : mx + mw )) bottom=$(( y + h > my + mh ? y + h : my + mh ))
  if command -v import >/dev/null; then
    # The menu is mapped before it is painted.
    sleep 0.5
    timeout 5 import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
      "$out_dir/linux-menu.png" || fail "cannot take a screenshot of the context menu"
    pass "a right-click in $1 shows its context menu at $mx,$my (${mw}x$mh): $out_dir/linux-menu.png"
  else
    pass "a right-click in $1 shows its context menu at $mx,$my (${mw}x$mh); no screenshot without import"
  fi
  timeout 5 xdotool key Escape || fail "cannot press Escape in the context menu"
  expect_windows "Escape closes the context menu" "$main_window"
}

# --- run 1: the program's roads, ended with 退出 -----------------------------------

# Qt sets the process locale from the environment; a "," decimal separator
# must change neither reading nor writing numbers.
run_name="run 1"
locale_env=()
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  locale_env=(LC_ALL=de_DE.UTF-8)
fi
echo "[$run_name] program locale: ${locale_env[*]:-inherited}"
start_program "${locale_env[@]}"
open_main_window

# Text1 has the focus when Form1 shows: typing goes there without a click.
type_text "$form1" "17"
click Command1
expect_fields "17|41.99|36.975|22.44" "17 in with 英寸换算厘米 gives the diagonal, long and short side"
[ ${#runner[@]} -eq 0 ] && field_menu_screenshot Text2

# Inches to centimetres: Text1 in, Text2..Text4 out.
while IFS='|' read -r inches diagonal long short; do
  set_field Text1 "$inches"
  click Command1
  expect_fields "$inches|$diagonal|$long|$short" "英寸换算厘米 on '$inches' in"
done <<'EOF'
20|49.4|43.5|26.4
32|79.04|69.6|42.24
EOF

# Centimetres to inches writes Text1 only: Text3 and Text4 hold markers that
# must stay, and Text1 starts with something else.
while IFS='|' read -r cm inches; do
  set_field Text1 "99"
  set_field Text2 "$cm"
  set_field Text3 "a"
  set_field Text4 "b"
  click Command2
  expect_fields "$inches|$cm|a|b" "厘米换算英寸 on '$cm' cm gives '$inches' in, Text3/Text4 unchanged"
done <<'EOF'
41.99|17
42|17.004048582996
49.4|20
EOF

# Enter in a field starts a new line and presses no button.
click Command3
click Text1
type_text "$form1" "17"
keys "$form1" Return
expect_fields $'17\n|||' "Enter in Text1 inserts a line break and converts nothing"
click Command1
expect_fields $'17\n|41.99|36.975|22.44' "the number before the line break converts"

# 清除 empties all four fields.
click Command3
expect_fields "|||" "清除 empties all four fields"

# An empty input field opens its prompt and empties all four fields. A second
# empty click leaves one prompt of that kind; it still runs, as the field it
# empties shows. The fields are read before the windows are counted: reading
# goes through the program, so by then it has handled the click.
set_field Text2 "5"
set_field Text3 "6"
set_field Text4 "7"
click_for_prompt Command1 "$inch_prompt"
expect_fields "|||" "empty Text1 + 英寸换算厘米 empties all four fields"
expect_windows "empty Text1 + 英寸换算厘米 opens the inch prompt" "$(sorted "$main_window" "$inch_prompt")"
set_field Text2 "5"
click_for_prompt Command1 "$inch_prompt"
expect_fields "|||" "a second empty 英寸换算厘米 empties the fields again"
expect_windows "a second empty 英寸换算厘米 leaves one inch prompt" "$(sorted "$main_window" "$inch_prompt")"

set_field Text1 "8"
set_field Text3 "6"
click_for_prompt Command2 "$cm_prompt"
expect_fields "|||" "empty Text2 + 厘米换算英寸 empties all four fields"
expect_windows "empty Text2 + 厘米换算英寸 opens the cm prompt beside the inch prompt" \
  "$(sorted "$main_window" "$inch_prompt" "$cm_prompt")"
set_field Text4 "5"
click_for_prompt Command2 "$cm_prompt"
expect_fields "|||" "a second empty 厘米换算英寸 empties the fields again"
expect_windows "a second empty 厘米换算英寸 leaves one cm prompt" \
  "$(sorted "$main_window" "$inch_prompt" "$cm_prompt")"

# The prompts overlap; the one shown last is in front, so each OK is clicked
# while its own prompt is in front.
bring_to_front "$(window_at "$cm_prompt")"
# shellcheck disable=SC2086 # four numbers
click_control "$(window_at "$cm_prompt")" $prompt_ok
expect_windows "OK on the cm prompt closes only it" "$(sorted "$main_window" "$inch_prompt")"
bring_to_front "$(window_at "$inch_prompt")"
# shellcheck disable=SC2086 # four numbers
click_control "$(window_at "$inch_prompt")" $prompt_ok
expect_windows "OK on the inch prompt closes it" "$main_window"

click Command2
click Command1
expect_windows "both prompts open again, the inch prompt last" \
  "$(sorted "$main_window" "$inch_prompt" "$cm_prompt")"
bring_to_front "$(window_at "$inch_prompt")"
# shellcheck disable=SC2086 # four numbers
click_control "$(window_at "$inch_prompt")" $prompt_ok
expect_windows "OK on the inch prompt closes only it" "$(sorted "$main_window" "$cm_prompt")"
bring_to_front "$(window_at "$cm_prompt")"
# shellcheck disable=SC2086 # four numbers
click_control "$(window_at "$cm_prompt")" $prompt_ok
expect_windows "OK on the cm prompt closes it" "$main_window"

# Tab order Text1, Text2, Command1, Command2, Command3, Command4, Text3, Text4,
# Text1. A field shows it had the focus by the marker typed after the Tabs; a
# button by what Space on it does.
while IFS='|' read -r tabs field; do
  click Command3
  presses=()
  for ((i = 0; i < tabs; i++)); do presses+=(Tab); done
  aim_at Text1
  xdo "$form1" "${POINT[@]}" key "${presses[@]}" type -- "7"
  expect_field "$field" "7" "$tabs Tab press(es) from Text1"
  pass "$tabs Tab press(es) from Text1 reach $field"
done <<'EOF'
1|Text2
6|Text3
7|Text4
8|Text1
EOF

set_field Text1 "17"
keys "$form1" Tab Tab space
expect_fields "17|41.99|36.975|22.44" "2 Tab presses from Text1 reach 英寸换算厘米 (Space converts)"

set_field Text2 "49.4"
set_field Text1 "1"
keys "$form1" Tab Tab Tab space
expect_fields "20|49.4|36.975|22.44" "3 Tab presses from Text1 reach 厘米换算英寸 (Space converts back)"

set_field Text1 "5"
keys "$form1" Tab Tab Tab Tab space
expect_fields "|||" "4 Tab presses from Text1 reach 清除 (Space empties)"

# 退出 ends the program.
set_field Text1 "17"
click Command4
expect_exit "退出"

# --- run 2: Form1 closed by the window system with both prompts open -----------

run_name="run 2"
start_program
open_main_window
click Command1
click Command2
expect_windows "both prompts open" "$(sorted "$main_window" "$inch_prompt" "$cm_prompt")"
"$send_close" "$form1" || fail "cannot send WM_DELETE_WINDOW to Form1"
expect_exit "WM_DELETE_WINDOW on Form1 with both prompts open"

# --- run 3: 退出 is the next stop after 清除 in the Tab order -------------------

run_name="run 3"
start_program
open_main_window
type_text "$form1" "1"
keys "$form1" Tab Tab Tab Tab Tab space
expect_exit "5 Tab presses from Text1 reach 退出 (Space ends the program)"

run_name="all"
echo "PASS: all checks in $(( ($(date +%s%N) - started) / 1000000 )) ms"
