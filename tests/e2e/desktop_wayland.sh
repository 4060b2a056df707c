#!/usr/bin/env bash
# What a Wayland compositor is told about the program's window, read from the
# client's side of the protocol (WAYLAND_DEBUG=1) on a headless weston of its
# own: the app_id is the desktop entry's name, the window asks for one size as
# both its smallest and its largest, and it is not put in a maximised or full
# screen state. Where the compositor offers xdg_activation_v1, the launch's
# XDG_ACTIVATION_TOKEN is handed to it as well.
#
#   desktop_wayland.sh PROGRAM DESKTOP-ENTRY [OUTPUT-DIR]
#
# Prints one line per check; on a failure keeps the protocol log in OUTPUT-DIR
# and exits 1; exits 77 when weston or Qt's Wayland plugin (qt6-wayland) is
# missing (1 under CI).
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"

usage="usage: desktop_wayland.sh PROGRAM DESKTOP-ENTRY [OUTPUT-DIR]"
program=${1:?$usage}
entry=${2:?$usage}
out_dir=${3:-.}
mkdir -p "$out_dir"

require_tools weston timeout
[ -x "$program" ] || { echo "no program at $program" >&2; exit 1; }
[ -f "$entry" ] || { echo "no desktop entry at $entry" >&2; exit 1; }

work=$(mktemp -d)
weston_pid="" app_pid="" watchdog_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  if [ -n "$weston_pid" ]; then
    kill -TERM "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
  fi
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL: stopped by SIGINT" >&2; exit 1' INT
trap 'echo "FAIL: stopped by SIGTERM" >&2; exit 1' TERM
start_watchdog 60 "FAIL: the whole test ran over 60 s"

fail() {
  echo "FAIL: $*" >&2
  for log in program weston; do
    [ -s "$work/$log.log" ] && cp "$work/$log.log" "$out_dir/desktop-wayland-$log.log" &&
      echo "kept: $out_dir/desktop-wayland-$log.log" >&2
  done
  exit 1
}
pass() { echo "ok   $*"; }

wait_for() { # seconds, message, command...
  local deadline=$(( $(now_ms) + $1 * 1000 )) message=$2
  shift 2
  until "$@"; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "$message${show:+:
$(tail -n 5 "$show" 2>&1)}"
    sleep 0.05
  done
}

# A compositor of its own: a runtime directory of its own, no X server, no
# user configuration.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export WAYLAND_DISPLAY="quimbel-e2e-$$"
unset DISPLAY
weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 \
  --no-config --width=1024 --height=640 >"$work/weston.log" 2>&1 &
weston_pid=$!
show="$work/weston.log" wait_for 20 "weston did not start" \
  test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"

token="quimbel-e2e-token-$$"
QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 XDG_ACTIVATION_TOKEN="$token" \
  "$program" >"$work/program.log" 2>&1 &
app_pid=$!
# Mapped: the first configure acknowledged and a buffer attached.
mapped() {
  grep -q 'xdg_surface@[0-9]*\.ack_configure' "$work/program.log" &&
    grep -q 'wl_surface@[0-9]*\.attach' "$work/program.log"
}
deadline=$(( $(now_ms) + 30000 ))
until mapped; do
  if ! kill -0 "$app_pid" 2>/dev/null; then
    if grep -q 'Could not find the Qt platform plugin "wayland"' "$work/program.log"; then
      echo "SKIP: Qt's Wayland plugin is not installed (qt6-wayland; tools/dev.sh installs it)"
      [ "${CI:-}" = true ] && exit 1
      exit 77
    fi
    fail "the program ended before its window was shown"
  fi
  [ "$(now_ms)" -gt "$deadline" ] && fail "the window was not shown within 30 s"
  sleep 0.05
done
# Give the requests that follow the first frame a moment to be logged.
sleep 0.5

requests() { grep -o -E "\-> $1\([^)]*\)" "$work/program.log" | sed 's/^-> //'; }

app_ids=$(requests 'xdg_toplevel@[0-9]+\.set_app_id' | sort -u)
want="\"$(basename "$entry" .desktop)\""
[ "$(sed -E 's/.*\((.*)\)/\1/' <<<"$app_ids")" = "$want" ] ||
  fail "the window's app_id is set as: ${app_ids:-nothing}; the desktop entry is $want"
pass "app_id $want, the desktop entry's name"

min_sizes=$(requests 'xdg_toplevel@[0-9]+\.set_min_size' | sed -E 's/.*\((.*)\)/\1/' | sort -u)
max_sizes=$(requests 'xdg_toplevel@[0-9]+\.set_max_size' | sed -E 's/.*\((.*)\)/\1/' | sort -u)
[ -n "$min_sizes" ] && [ "$min_sizes" = "$max_sizes" ] ||
  fail "smallest size ${min_sizes:-none}, largest ${max_sizes:-none}: not one fixed size"
pass "one fixed size, smallest = largest = $min_sizes"

larger=$(requests 'xdg_toplevel@[0-9]+\.set_(maximized|fullscreen)')
[ -z "$larger" ] || fail "the window asks to grow: $larger"
pass "no maximised or full-screen state asked for"

if grep -q 'global([0-9]*, "xdg_activation_v1"' "$work/program.log"; then
  requests 'xdg_activation_v1@[0-9]+\.activate' | grep -q "\"$token\"" ||
    fail "the compositor offers xdg_activation_v1, but the launch's token was not handed over"
  pass "the launch's XDG_ACTIVATION_TOKEN is handed to the compositor"
else
  echo "note: this compositor has no xdg_activation_v1, so the token is not checked here"
fi
