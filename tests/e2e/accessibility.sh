#!/usr/bin/env bash
# The running program as a screen reader reads it on Linux: on an
# accessibility bus of the test's own (a D-Bus session with AT-SPI's bus
# launcher), read_aloud.py finds the welcome dialog's greeting, presses
# 英寸换算厘米 on an empty field through the button's own action, and finds
# the prompt's message in the alert that opens. Another reader script given
# third (field_aloud.py) drives the program on the same bus instead.
#
#   tests/e2e/accessibility.sh PROGRAM WORK-DIR [READER]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/x_server.sh"
program=${1:?usage: accessibility.sh PROGRAM WORK-DIR}
out=${2:?usage: accessibility.sh PROGRAM WORK-DIR}
reader=${3:-$here/read_aloud.py}
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher

require_tools Xvfb dbus-run-session import xdotool
for needed in "$launcher" "$python"; do
  if [ ! -x "$needed" ]; then
    echo "SKIP: $needed is missing (tools/dev.sh installs at-spi2-core and python3-pyatspi)"
    [ "${CI:-}" = true ] && exit 1
    exit 77
  fi
done
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
  echo "SKIP: python3-pyatspi is missing (tools/dev.sh installs it)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi

mkdir -p "$out"
work=$(mktemp -d)
app_log=$work/program.log
cleanup() {
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
start_watchdog 100 "FAIL: the accessibility check ran over 100 s"
start_x_server "$work" || { echo "FAIL: Xvfb did not start"; exit 1; }

# One D-Bus session for the bus launcher, the program and the reader; all of
# it ends with the session.
status=0
dbus-run-session -- bash -c '
  "$1" --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  # Qt speaks AT-SPI without a desktop setting that asks it to.
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$2" >"$3" 2>&1 &
  app=$!
  "$4" "$5" 30
  status=$?
  kill "$app" "$launcher" 2>/dev/null
  wait "$app" 2>/dev/null
  exit $status' accessibility "$launcher" "$program" "$app_log" "$python" "$reader" ||
  status=$?
if [ "$status" -ne 0 ]; then
  keep_failure "$app_log" "$out/accessibility-failure"
  exit 1
fi
