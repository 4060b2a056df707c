# Sourced by the real-window scripts and benches: the clock they time waits
# with, an X server of their own, and what a failure leaves behind.

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
