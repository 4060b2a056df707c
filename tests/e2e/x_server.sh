# Sourced by the real-window scripts and benches: the clock they time waits
# with, an X server of their own, a watchdog over the whole run, the tools
# they need, and what a failure leaves behind.

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Starts Xvfb (1280x800, 96 dpi) on a free display, which -displayfd reports
# once it accepts clients; sets xvfb_pid and exports DISPLAY. Returns 1, with
# the server's log on standard error, when it does not start within 10 s.
start_x_server() { # work dir
  Xvfb -displayfd 5 -screen 0 1280x800x24 -dpi 96 -nolisten tcp -noreset \
    5>"$1/display" >"$1/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local deadline=$(( $(now_ms) + 10000 ))
  until [ -s "$1/display" ] && grep -q '^[0-9]' "$1/display"; do
    if [ "$(now_ms)" -gt "$deadline" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      cat "$1/xvfb.log" >&2
      return 1
    fi
    sleep 0.05
  done
  DISPLAY=":$(head -n1 "$1/display")"
  export DISPLAY
}

# Keeps a screenshot and the program's output for a failed run.
keep_failure() { # program log, output path without extension
  if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
    timeout 5 import -window root "$2.png" 2>/dev/null && echo "screenshot: $2.png" >&2
  fi
  if [ -s "$1" ]; then
    cp "$1" "$2.log"
    echo "--- program output:" >&2
    cat "$1" >&2
  fi
}

# Ends the script (SIGTERM, which its traps turn into a failure) once SECONDS
# have passed, saying MESSAGE: every wait has a deadline of its own, this one
# catches what they miss, before CTest's timeout, so the cleanup still runs.
# Sets watchdog_pid.
start_watchdog() { # seconds, message
  (
    trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
    sleep "$1" >/dev/null 2>&1 &
    sleeper=$!
    wait "$sleeper"
    echo "$2" >&2
    kill -TERM $$
  ) &
  watchdog_pid=$!
}

# What a cleanup trap ends of start_watchdog's and start_x_server's.
stop_watchdog_and_x_server() {
  [ -n "${watchdog_pid:-}" ] && kill -TERM "$watchdog_pid" 2>/dev/null
  if [ -n "${xvfb_pid:-}" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  return 0
}

# Exits 77 (skipped) unless every tool named is installed; under CI, where
# everything is installed, a missing tool fails the test instead.
require_tools() { # tool...
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (tools/dev.sh installs it)"
      [ "${CI:-}" = true ] && exit 1
      exit 77
    fi
  done
}

# One line per visible top-level window: "id x y width height name". Without a
# window manager a window's origin is its client area's origin.
visible_windows() {
  local id geometry
  for id in $(timeout 5 xdotool search --onlyvisible --maxdepth 1 --name . 2>/dev/null); do
    geometry=$(timeout 5 xwininfo -id "$id" 2>/dev/null | awk '
      /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
      /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
      END {if (w != "") print x, y, w, h}') || continue
    [ -n "$geometry" ] || continue
    echo "$id $geometry $(timeout 5 xdotool getwindowname "$id" 2>/dev/null)"
  done
}

# Keys go to the window with the X input focus. Nothing hands it over without a
# window manager (and the program's own dialogs take it when they open), so
# give it to the window before typing. Fails through the script's own fail.
focus_window() { # window id
  local deadline=$(( $(now_ms) + 5000 ))
  [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" = "$1" ] && return
  timeout 5 xdotool windowfocus "$1" 2>/dev/null
  until [ "$(timeout 5 xdotool getwindowfocus 2>/dev/null)" = "$1" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "window $1 does not take the input focus"
    sleep 0.02
  done
}
