#!/usr/bin/env bash
# The Windows field with a long line, driven under Wine through the real
# window: keys pressed as a user would (xdotool), the text read back through
# the clipboard (xclip) and by another Windows process. Checks what the field
# once got wrong: Undo after an edit about 2,048 characters in, Undo after
# deleting the whole text, characters added to the text another program
# reads, keys lost or handled late in a long line, Home, End, Up and Down not
# moving by the rows shown, and typed text put in out of the order typed after
# a joiner or before a mark.
#
#   long_field_wine.sh PROGRAM FIELD-READER [OUTPUT-DIR]
#
# E2E_RUNNER holds the words that start a Windows program (tools/wine-run.sh
# --prefix DIR); it starts PROGRAM and FIELD-READER, which is
# quimbel_field_reader.exe of the same cross build. Every wait is bounded (a
# hang guard, not a timing). Prints one line per check; on a failure keeps a
# screenshot and the program's output in OUTPUT-DIR and exits 1; exits 77
# when a tool is missing.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"
. "$(dirname "${BASH_SOURCE[0]}")/main_window.sh"

usage="usage: long_field_wine.sh PROGRAM FIELD-READER [OUTPUT-DIR]"
program=${1:?$usage}
reader=${2:?$usage}
out_dir=${3:-.}
mkdir -p "$out_dir"

require_tools Xvfb xdotool xclip xwininfo timeout cmp iconv
[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }
[ -f "$reader" ] || { echo "no field reader at $reader" >&2; exit 1; }
read -r -a runner <<<"${E2E_RUNNER:-}"

# What any step may take before the program counts as frozen.
hang_s=30

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: stopped" >&2; exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  keep_failure "$work/program.log" "$out_dir/long-field-failure"
  exit 1
}
pass() { echo "ok   $*"; }

start_x_server "$work" || fail "Xvfb did not start"
start_watchdog "${E2E_TIME_LIMIT:-400}" "FAIL: the whole drive took over ${E2E_TIME_LIMIT:-400} s"

# --- windows ---------------------------------------------------------------------

declare -A control=([Text1]="1920 240 1575 615" [Text2]="1920 1200 1575 615")
click_control() { # name
  # shellcheck disable=SC2086 # four numbers
  click "$main" ${control[$1]}
}

# Presses keys in order, DELAY ms apart, to the window with the input focus.
press() { # what, delay, key...
  local what=$1 delay=$2
  shift 2
  timeout "$hang_s" xdotool key --delay "$delay" "$@" || fail "$what: the keys could not be pressed"
}
# The same key COUNT times.
press_times() { # what, delay, count, key
  local keys
  read -r -a keys <<<"$(yes "$4" | head -n "$3" | tr '\n' ' ')"
  press "$1" "$2" "${keys[@]}"
}

# Puts FILE on the clipboard, owned by an xclip of its own until another
# program takes it, and waits until it reads back.
own_clipboard() { # file
  timeout 300 xclip -quiet -selection clipboard -i "$1" >/dev/null 2>&1 &
  local deadline=$(( $(now_ms) + 10000 ))
  until timeout 5 xclip -o -selection clipboard 2>/dev/null | cmp -s - "$1"; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "cannot put $(basename "$1") on the clipboard"
    sleep 0.05
  done
}

# The whole text of the field with the focus, through select all and copy.
# Keys are handled in order, so once the copy shows on the clipboard every
# key pressed before it has been handled: this is how the drive waits.
copy_field() { # what, file
  printf 'sentinel' >"$work/sentinel"
  own_clipboard "$work/sentinel"
  press "$1" 12 ctrl+a ctrl+c
  local deadline=$(( $(now_ms) + hang_s * 1000 ))
  while :; do
    timeout "$hang_s" xclip -o -selection clipboard >"$2" 2>/dev/null
    cmp -s "$2" "$work/sentinel" || [ ! -s "$2" ] || return 0
    [ "$(now_ms)" -gt "$deadline" ] && fail "$1: nothing was copied within $hang_s s"
    sleep 0.1
  done
}

# Fills the field with the focus with FILE, by pasting over all of it, and
# checks that the copy gives it back whole.
fill_field() { # what, file
  own_clipboard "$2"
  press "$1" 12 ctrl+a ctrl+v
  copy_field "$1" "$work/filled"
  cmp -s "$work/filled" "$2" ||
    fail "$1: the copy after pasting reads $(stat -c %s "$work/filled") characters, not $(stat -c %s "$2")"
}

# Runs the field reader (another Windows process) on Text1: its text into
# FILE as UTF-8; sets reader_lines and reader_second_row.
read_from_outside() { # file
  local answer
  answer=$(timeout "$hang_s" "${runner[@]}" "$reader" --find "$title" \
    "Z:$(printf '%s' "$work/outside.utf16" | tr / '\\')" 2>>"$work/reader.log") ||
    fail "the field reader did not get the whole text of Text1 (exit $?)"
  read -r _ reader_lines reader_second_row <<<"$(printf '%s' "$answer" | tr -d '\r')"
  [ -n "$reader_second_row" ] || fail "the field reader answered '$answer'"
  iconv -f UTF-16LE -t UTF-8 "$work/outside.utf16" >"$1" || fail "the field reader wrote no UTF-16"
}

# Where "#" stands in FILE (0 first), and the file without it in FILE.plain.
marker_index() { # file
  local before
  before=$(head -c 20000 "$1" | tr -d '\n' | awk '{ print index($0, "#") - 1 }')
  tr -d '#' <"$1" >"$1.plain"
  echo "$before"
}

# --- the run ---------------------------------------------------------------------

# 10,200 characters on one line, six to a number: "00000|00001|...|01699|".
for ((i = 0; i < 1700; i++)); do printf '%05d|' "$i"; done >"$work/line"
length=$(stat -c %s "$work/line")
# 100,000 for deleting all.
yes abcdefghij | head -n 10000 | tr -d '\n' >"$work/long"

env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_SCREEN_SCALE_FACTORS \
  "${runner[@]}" "$program" >"$work/program.log" 2>&1 &
app_pid=$!
await_welcome 60
focus_window "$WINDOW"
press "closing the welcome dialog" 12 Return
await_main
main=$WINDOW
focus_window "$main"
pass "the main window is up"

click_control Text1
fill_field "pasting $length characters into Text1" "$work/line"
pass "a pasted line of $length characters copies back whole"

# Another process reads exactly what was pasted, one line wrapped into rows.
read_from_outside "$work/outside"
cmp -s "$work/outside" "$work/line" ||
  fail "another program reads $(stat -c %s "$work/outside") characters of Text1, not the $length pasted"
pass "another program reads the $length characters, nothing added"
first_row=$reader_second_row
[ "$reader_lines" -gt 1 ] && [ "$first_row" -gt 5 ] && [ "$first_row" -lt 40 ] ||
  fail "Text1 counts $reader_lines lines, the second from $first_row: not wrapped at its width"
# Digits are as wide as each other; the bars between them move a row's end by one at most.
fewest=$(( length / (first_row + 1) )) most=$(( length / (first_row - 1) + 1 ))
[ "$reader_lines" -ge "$fewest" ] && [ "$reader_lines" -le "$most" ] ||
  fail "Text1 counts $reader_lines lines: rows of about $first_row characters make $fewest to $most"
pass "Text1 counts its wrapped rows as lines: $reader_lines, of about $first_row characters"

# Undo of an edit where the text was once cut into pieces of 2,048.
#   what                      caret  keys           count  removed from  how many
undo_cases=(
  "BackSpace across 2,048"    2050   BackSpace      5      2045          5
  "Delete across 2,048"       2040   Delete         20     2040          20
)
for ((c = 0; c < ${#undo_cases[@]}; c += 6)); do
  what=${undo_cases[c]} caret=${undo_cases[c + 1]} key=${undo_cases[c + 2]}
  count=${undo_cases[c + 3]} from=${undo_cases[c + 4]} removed=${undo_cases[c + 5]}
  # Away and back, as a user checking the other field would.
  click_control Text2
  click_control Text1
  press "$what" 12 ctrl+Home
  press_times "$what: moving to $caret" 4 "$caret" Right
  press_times "$what" 12 "$count" "$key"
  copy_field "$what" "$work/edited"
  { head -c "$from" "$work/line"; tail -c +$((from + removed + 1)) "$work/line"; } >"$work/expected"
  cmp -s "$work/edited" "$work/expected" ||
    fail "$what: the text reads $(stat -c %s "$work/edited") characters, not the line without $removed at $from"
  press "$what: undo" 12 ctrl+z
  copy_field "$what: undo" "$work/undone"
  cmp -s "$work/undone" "$work/line" ||
    fail "$what: after Ctrl+Z the text reads $(stat -c %s "$work/undone") characters, first different at $(cmp "$work/undone" "$work/line" 2>&1 | sed -n 's/.*byte \([0-9]*\).*/\1/p')"
  pass "$what: Ctrl+Z gives the line back exactly"
done

# Keys pressed fast after slow ones all land, in order.
fill_field "restoring the line" "$work/line"
press "keys to 850" 12 ctrl+Home
press_times "keys to 850" 12 850 Right
press_times "50 keys 3 ms apart" 3 50 Right
press "the marker" 12 numbersign
copy_field "the marker" "$work/marked"
at=$(marker_index "$work/marked")
[ "$at" = 900 ] || fail "after 850 and 50 fast Right keys the marker stands at $at, not 900"
cmp -s "$work/marked.plain" "$work/line" || fail "typing the marker changed more than the marker"
pass "850 Right keys, then 50 three milliseconds apart: the marker lands at 900"

# Home, End, Up and Down move by the rows shown.
#   what                            keys                              marker at
row_cases=(
  "End on the first row"           "ctrl+Home End"                    "$first_row"
  "Down, Down, Up, Home"           "ctrl+Home Down Down Up Home"      "$first_row"
  "Home on the third row"          "ctrl+Home Down Down End Home"     ""
)
for ((c = 0; c < ${#row_cases[@]}; c += 3)); do
  what=${row_cases[c]} expected=${row_cases[c + 2]}
  fill_field "$what: restoring the line" "$work/line"
  read -r -a keys <<<"${row_cases[c + 1]}"
  press "$what" 12 "${keys[@]}" numbersign
  copy_field "$what" "$work/marked"
  at=$(marker_index "$work/marked")
  cmp -s "$work/marked.plain" "$work/line" || fail "$what: typing the marker changed more than the marker"
  if [ -n "$expected" ]; then
    [ "$at" = "$expected" ] || fail "$what: the marker stands at $at, not at $expected where the second row starts"
  else
    # The third row starts two rows in: after two first rows' length or so.
    [ "$at" -gt "$first_row" ] && [ "$at" -le $((2 * first_row + 2)) ] ||
      fail "$what: the marker stands at $at, not where the third row starts"
  fi
  pass "$what: the marker stands at $at"
done

# All of a long text deleted, then Ctrl+Z.
fill_field "pasting 100,000 characters" "$work/long"
press "deleting all" 12 ctrl+a Delete
deadline=$(( $(now_ms) + hang_s * 1000 ))
until read_from_outside "$work/outside" && [ ! -s "$work/outside" ]; do
  [ "$(now_ms)" -gt "$deadline" ] && fail "Ctrl+A, Delete did not empty Text1 within $hang_s s"
  sleep 0.2
done
press "undoing the delete" 12 ctrl+z
copy_field "undoing the delete" "$work/undone"
cmp -s "$work/undone" "$work/long" ||
  fail "after Ctrl+A, Delete, Ctrl+Z the text reads $(stat -c %s "$work/undone") characters, not 100000"
pass "Ctrl+A, Delete, Ctrl+Z gives 100,000 characters back whole"

# Typed text goes in where the last edit ended, in the order typed, even
# where no caret may stop (after a joiner, before a mark): read by another
# program. Each step is "type:TEXT", "key:KEYS" or "paste:TEXT", split by "|".
# xdotool types a character off the keyboard by mapping a key to it for a
# moment: Wine reads the key by the mapping it finds when the program next
# takes its input, so each such character goes only to a program that has
# answered a ping (E2E_PING: quimbel_e2e_ping), idle and reading its input at
# once, slowly enough for Wine to see each new mapping.
type_off_keyboard() { # what, text
  # Characters, not bytes.
  local LC_ALL=C.UTF-8 what=$1 text=$2 i
  for ((i = 0; i < ${#text}; i++)); do
    if [ -n "${E2E_PING:-}" ]; then
      "$E2E_PING" --timeout-ms $((hang_s * 1000)) "$main" >/dev/null ||
        fail "$what: the program did not answer before the next character"
    fi
    timeout "$hang_s" xdotool type --delay 50 "${text:i:1}" || fail "$what: could not type"
  done
}
# In UTF-8 bytes, whatever the locale the drive runs in.
man=$(printf '\360\237\221\250') woman=$(printf '\360\237\221\251')
joiner=$(printf '\342\200\215') acute=$(printf '\314\201')
#   what                                     steps                                              expected
typed_cases=(
  "a family typed after Left"                "type:XY|key:Left|type:$man$joiner$woman"            "X$man$joiner${woman}Y"
  "letters typed before a mark"              "type:$acute|key:Home|type:abc"                      "abc$acute"
  "typed after a paste that ends in a joiner" "type:XY|key:Left|paste:$man$joiner|type:ab"        "X$man${joiner}abY"
  "the same undone twice and made again"     "type:XY|key:Left|paste:$man$joiner|type:ab|key:ctrl+z ctrl+z ctrl+y ctrl+y" "X$man${joiner}abY"
)
for ((c = 0; c < ${#typed_cases[@]}; c += 3)); do
  what=${typed_cases[c]} expected=${typed_cases[c + 2]}
  press "$what: emptying Text1" 12 ctrl+a Delete
  IFS='|' read -r -a steps <<<"${typed_cases[c + 1]}"
  for step in "${steps[@]}"; do
    case $step in
      type:*) type_off_keyboard "$what" "${step#type:}" ;;
      key:*) read -r -a keys <<<"${step#key:}"; press "$what" 12 "${keys[@]}" ;;
      paste:*)
        printf '%s' "${step#paste:}" >"$work/pasted"
        own_clipboard "$work/pasted"
        press "$what: pasting" 12 ctrl+v ;;
    esac
  done
  # The copy waits until every key before it has been handled.
  copy_field "$what" "$work/typed"
  read_from_outside "$work/outside"
  printf '%s' "$expected" >"$work/expected"
  cmp -s "$work/outside" "$work/expected" ||
    fail "$what: another program reads $(od -An -tx1 "$work/outside" | tr -d '\n'), not $(od -An -tx1 "$work/expected" | tr -d '\n')"
  pass "$what: another program reads what was typed"
done
