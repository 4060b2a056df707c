#!/usr/bin/env bash
# Runs a cross-built test program under Wine with the screen at another
# resolution, in a Wine prefix of its own whose LogPixels says so, so that
# windows are made at that resolution from the start.
#
#   run_at_dpi.sh WINE_RUN PREFIX DPI PROGRAM [ARGUMENTS...]
#
# WINE_RUN is tools/wine-run.sh. No window manager runs beside the tests:
# Wine is told to manage the windows itself rather than wait for one.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 WINE_RUN PREFIX DPI PROGRAM [ARGUMENTS...]" >&2; exit 2; }
wine_run=$1
prefix=$2
dpi=$3
shift 3
"$wine_run" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' \
  /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
"$wine_run" --prefix "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' \
  /v Managed /d N /f >/dev/null
exec "$wine_run" --prefix "$prefix" --again-if-wine-fails "$@"
