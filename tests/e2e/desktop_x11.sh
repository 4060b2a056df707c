#!/usr/bin/env bash
# What an X11 desktop reads off the program's window, under a real window
# manager (openbox) in an X server of its own: the desktop entry the window
# belongs to (WM_CLASS against the entry's StartupWMClass), the end of a
# launch (_NET_STARTUP_ID and the "remove" message), a fixed size that leaves
# maximise out (WM_NORMAL_HINTS, _MOTIF_WM_HINTS, and the actions the window
# manager then allows), and full screen, asked for as a pager does, taken back.
#
#   desktop_x11.sh PROGRAM DESKTOP-HELPER DESKTOP-ENTRY [OUTPUT-DIR]
#
# DESKTOP-HELPER is quimbel_e2e_desktop. Prints one line per check; on a
# failure keeps a screenshot and the program's output in OUTPUT-DIR and exits
# 1; exits 77 when a tool is missing (1 under CI).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"

usage="usage: desktop_x11.sh PROGRAM DESKTOP-HELPER DESKTOP-ENTRY [OUTPUT-DIR]"
program=${1:?$usage}
desktop=${2:?$usage}
entry=${3:?$usage}
out_dir=${4:-.}
mkdir -p "$out_dir"

require_tools Xvfb openbox xprop xdotool xwininfo timeout
for file in "$program" "$desktop"; do
  [ -x "$file" ] || { echo "no program at $file" >&2; exit 1; }
done
[ -f "$entry" ] || { echo "no desktop entry at $entry" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid="" wm_pid="" listener_pid="" spy_pid="" app_pid="" watchdog_pid=""
cleanup() {
  local pid
  for pid in "$spy_pid" "$app_pid" "$listener_pid" "$wm_pid"; do
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  done
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: stopped by SIGINT" >&2; exit 1' INT
trap 'echo "FAIL: stopped by SIGTERM" >&2; exit 1' TERM
start_watchdog 80 "FAIL: the whole test ran over 80 s"

fail() {
  echo "FAIL: $*" >&2
  keep_failure "$work/program.log" "$out_dir/desktop-x11-failure"
  exit 1
}
pass() { echo "ok   $*"; }

# Polls a command until it succeeds; fails with MESSAGE after SECONDS, and
# then shows the file named by the variable show, if the caller sets it.
wait_for() { # seconds, message, command...
  local deadline=$(( $(now_ms) + $1 * 1000 )) message=$2
  shift 2
  until "$@"; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "$message${show:+:
$(cat "$show" 2>&1)}"
    sleep 0.05
  done
}

start_x_server "$work" || fail "Xvfb did not start"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_running() { timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
show="$work/openbox.log" wait_for 20 "openbox did not start" wm_running

"$desktop" listen >"$work/startup.log" 2>&1 &
listener_pid=$!
wait_for 10 "the startup-message listener did not start" grep -q '^listening' "$work/startup.log"

# Starts the program with the environment given; sets app_pid and window to
# its first visible window.
window=""
launch() { # VAR=value...
  : >"$work/program.log"
  env "$@" "$program" >"$work/program.log" 2>&1 &
  app_pid=$!
  first_window() {
    window=$(timeout 5 xdotool search --onlyvisible --pid "$app_pid" --name . 2>/dev/null | head -n1)
    [ -n "$window" ]
  }
  wait_for 30 "no window of the program appeared" first_window
}

end_program() {
  kill -TERM "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  app_pid=""
}

property() { # name
  timeout 5 xprop -id "$window" "$1" 2>/dev/null
}

# --- a launch from the desktop ---------------------------------------------------

launch_id="quimbel-e2e-$$_TIME$(date +%s)"
launch DESKTOP_STARTUP_ID="$launch_id"

# The class Qt gives the window is what the entry says to look for.
wm_class=$(property WM_CLASS)
startup_wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
[ -n "$startup_wm_class" ] || fail "$entry has no StartupWMClass"
[[ $wm_class == *"= \"quimbel\", \"$startup_wm_class\"" ]] ||
  fail "WM_CLASS is '$wm_class'; the entry's StartupWMClass is '$startup_wm_class'"
pass "WM_CLASS $wm_class matches StartupWMClass=$startup_wm_class"

startup_id=$(property _NET_STARTUP_ID)
[ "$startup_id" = "_NET_STARTUP_ID(UTF8_STRING) = \"$launch_id\"" ] ||
  fail "the window carries '$startup_id', not the launch ID $launch_id"
pass "the first window carries _NET_STARTUP_ID $launch_id"

show="$work/startup.log" wait_for 10 "no 'remove: ID=$launch_id' startup message; seen" \
  grep -qx "remove: ID=$launch_id" "$work/startup.log"
pass "the launch ends with the message 'remove: ID=$launch_id'"

# --- a fixed size, and no maximise ------------------------------------------------

read -r width height < <(timeout 5 xwininfo -id "$window" |
  awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}')
hints=$(property WM_NORMAL_HINTS)
grep -q "program specified minimum size: $width by $height" <<<"$hints" &&
  grep -q "program specified maximum size: $width by $height" <<<"$hints" ||
  fail "WM_NORMAL_HINTS do not hold the window at its ${width}x$height:
$hints"
pass "WM_NORMAL_HINTS: minimum = maximum = ${width}x$height"

# _MOTIF_WM_HINTS: flags, functions, decorations, ... Bit 0x10 of the
# functions and 0x40 of the decorations are maximise; 0x1 would mean "all
# but those listed".
read -r -a motif < <(property _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
[ "${#motif[@]}" -ge 3 ] || fail "no _MOTIF_WM_HINTS: $(property _MOTIF_WM_HINTS)"
(( (motif[0] & 3) == 3 && (motif[1] & 0x11) == 0 && (motif[2] & 0x41) == 0 )) ||
  fail "_MOTIF_WM_HINTS offer maximise: ${motif[*]}"
pass "_MOTIF_WM_HINTS leave maximise out: functions ${motif[1]}, decorations ${motif[2]}"

actions=$(property _NET_WM_ALLOWED_ACTIONS)
[[ $actions == *_NET_WM_ACTION_CLOSE* ]] || fail "openbox lists no actions: $actions"
[[ $actions != *MAXIMIZE* && $actions != *_NET_WM_ACTION_RESIZE* ]] ||
  fail "openbox allows resizing or maximising: $actions"
pass "openbox allows neither resizing nor maximising"

# Openbox offers full screen to any normal window, from its window menu or a
# pager. The window is to come back at once, at its size.
timeout 30 xprop -spy -id "$window" _NET_WM_STATE >"$work/state.log" 2>&1 &
spy_pid=$!
wait_for 10 "cannot watch _NET_WM_STATE" grep -q _NET_WM_STATE "$work/state.log"
"$desktop" state "$window" add _NET_WM_STATE_FULLSCREEN || fail "cannot ask for full screen"
# xprop prints the property at each change; a change that is undone at once
# may already read back undone, so it counts the changes: openbox's and the
# program's. Left in full screen, the last reading keeps FULLSCREEN.
back_from_full_screen() {
  [ "$(grep -c _NET_WM_STATE "$work/state.log")" -ge 3 ] &&
    [ "$(tail -n1 "$work/state.log" | grep -c FULLSCREEN)" -eq 0 ]
}
show="$work/state.log" wait_for 10 "full screen was not applied and taken back; _NET_WM_STATE went" \
  back_from_full_screen
sleep 0.5
back_from_full_screen || fail "the window went back to full screen; _NET_WM_STATE went:
$(cat "$work/state.log")"
kill "$spy_pid" 2>/dev/null
spy_pid=""
read -r now_width now_height < <(timeout 5 xwininfo -id "$window" |
  awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}')
[ "$now_width $now_height" = "$width $height" ] ||
  fail "after full screen the window is ${now_width}x$now_height, not ${width}x$height"
pass "full screen is taken back, the window stays ${width}x$height"
end_program

# --- started from a terminal: no launch to end ------------------------------------

launch -u DESKTOP_STARTUP_ID
startup_id=$(property _NET_STARTUP_ID)
[[ $startup_id == *"not found"* ]] || fail "a run without a launch ID carries '$startup_id'"
pass "without DESKTOP_STARTUP_ID the window carries no launch ID"
end_program
