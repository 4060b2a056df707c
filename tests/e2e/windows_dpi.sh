#!/usr/bin/env bash
# The Windows program under Wine at four screen resolutions, and with Wine
# reporting Windows 7, checked only from outside as in real_windows.sh.
#
#   windows_dpi.sh PROGRAM WORK-DIR
#
# WORK-DIR gets a Wine prefix of this test's own (made afresh each run: the
# resolution set here must not reach other tests' prefix) and, on a failure,
# screenshots and the program's output.
#
# For each of 96, 120, 144 and 192 dpi (HKCU\Control Panel\Desktop,
# LogPixels) the program starts; its welcome dialog, main window and a prompt
# are each checked for:
#  - the client area: the design size in twips times dpi/1440, at the design
#    position (moved back inside the 1280x800 screen where it would stick out);
#  - every button's and label's caption: some ink inside the control's
#    rectangle, none on the edges a caption too big for it would reach (the
#    controls clip), and its height growing with the resolution.
# Then, at 96 dpi with Wine reporting Windows 7, the program converts 17 in.
# Exits 77 when a tool it needs is missing.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"

program=${1:?usage: windows_dpi.sh PROGRAM WORK-DIR}
work_dir=${2:?usage: windows_dpi.sh PROGRAM WORK-DIR}
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../tools/wine-run.sh
prefix=$work_dir/dpi-prefix
time_limit=${E2E_TIME_LIMIT:-280}

require_tools Xvfb xdotool xclip xwininfo import convert timeout flock
[ -f "$program" ] || { echo "no program at $program" >&2; exit 1; }
mkdir -p "$work_dir"

started=$(date +%s%N)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
watchdog_pid=""
step=""

wine() { timeout 120 "$wine_run" --prefix "$prefix" "$@"; }

cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && "$wine_run" --prefix "$prefix" --stop >/dev/null 2>&1
  stop_watchdog_and_x_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "FAIL [$step]: stopped by a signal" >&2; exit 1' INT TERM

start_watchdog "$time_limit" "FAIL: the whole test ran over $time_limit s"


fail() {
  echo "FAIL [$step]: $*" >&2
  keep_failure "$work/program.log" "$work_dir/dpi-failure"
  exit 1
}

pass() { echo "ok   [$step] $*"; }

# --- the X server and the prefix ----------------------------------------------

start_x_server "$work" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
SCREEN_W=1280 SCREEN_H=800

step=prefix
rm -rf "$prefix" "$prefix.lock"
wine --init || fail "cannot make the Wine prefix $prefix"

# Sets a registry value, ends the prefix's Wine so the next program reads it
# afresh, and reads it back.
set_registry() { # key, value name, type, data, data as reg query shows it
  wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1 ||
    fail "reg add $1 /v $2 /d $4 failed"
  "$wine_run" --prefix "$prefix" --stop
  local shown
  shown=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v {print $3}')
  [ "$shown" = "$5" ] || fail "$1 $2 reads back '$shown', not '$5'"
  "$wine_run" --prefix "$prefix" --stop
}

# --- geometry -------------------------------------------------------------------

# Twips to pixels at DPI, rounded to the nearest (as the program's PixelsAt).
px() { echo $(( ($1 * DPI + 720) / 1440 )); }
# A rectangle in twips to "left top width height" in pixels, its edges rounded.
rect_px() { # left top width height (twips)
  local l t
  l=$(px "$1") t=$(px "$2")
  echo "$l $t $(( $(px $(($1 + $3))) - l )) $(( $(px $(($2 + $4))) - t ))"
}


# Waits until exactly the windows named (caption per line, sorted) are
# visible; WIN holds the id of the one captioned $2, if given.
WIN=""
wait_windows() { # what, caption of the window to pick, expected captions...
  local what=$1 pick=$2 expected seen lines deadline=$(( $(now_ms) + 20000 ))
  shift 2
  expected=$(printf '%s\n' "$@" | sort)
  while :; do
    lines=$(visible_windows)
    seen=$(cut -d' ' -f6- <<<"$lines" | sed '/^$/d' | sort)
    if [ "$seen" = "$expected" ]; then
      WIN=$(awk -v want="$pick" '{id=$1; $1=$2=$3=$4=$5=""; sub(/^ +/, ""); if ($0 == want) print id}' <<<"$lines" | head -n1)
      return
    fi
    [ "$(now_ms)" -gt "$deadline" ] && fail "$what: expected the windows
$expected
but saw:
${seen:-<none>}"
    sleep 0.1
  done
}

# Wine draws each window's frame into its X window (no window manager runs).
# The frame is read off the window's own picture, apart from its client area:
# the title bar is one colour, from the left border to the right one, and
# ends in a line of the frame's face colour (Wine draws it under every title
# bar), below which the client area starts; the bottom border is as wide as
# the side ones. Sets FL FT FR FB (left top right bottom, pixels).
read_frame() { # screenshot, width, height
  local shot=$1 w=$2 h=$3 x probe colour rows first last cols
  x=$(( w / 2 ))
  # A point well inside the title bar, clear of its text and buttons.
  probe=$(( (10 * DPI + 48) / 96 ))
  colour=$(convert "$shot" -format "%[hex:p{$x,$probe}]" info:)
  rows=$(convert "$shot" -crop "1x$(( h / 2 ))+$x+0" +repage -depth 8 txt:- |
    awk -F'[ ,:]+' -v c="#$colour" 'NR > 1 {print $2, index($0, c) ? 1 : 0}')
  [ -n "$rows" ] || fail "cannot read the picture $shot"
  read -r first last < <(awk '$2 && first == "" {first = $1} $2 {last = $1} END {print first, last}' <<<"$rows")
  [ -n "$first" ] || fail "no title bar in $shot"
  # The title bar is one run of rows.
  [ "$(awk -v a="$first" -v b="$last" '$1 >= a && $1 <= b && !$2' <<<"$rows" | wc -l)" -eq 0 ] ||
    fail "the title bar of $shot is not one run of rows $first..$last"
  cols=$(convert "$shot" -crop "${w}x1+0+$first" +repage -depth 8 txt:- |
    awk -F'[ ,:]+' -v c="#$colour" 'NR > 1 && index($0, c) {if (l == "") l = $1; r = $1} END {print l, r}')
  read -r FL x <<<"$cols"
  FR=$(( w - 1 - x ))
  FT=$(( last + 2 ))
  FB=$FL
  [ "$FL" -eq "$FR" ] && [ "$FL" -ge 1 ] && [ "$FL" -le 20 ] && [ "$FT" -gt "$FL" ] ||
    fail "odd frame read off $shot: left $FL top $FT right $FR (title bar colour $colour, rows $first..$last)"
}

# The ink of a rectangle of a picture: pixels that differ clearly from the
# background colour. Prints "left top right bottom count" relative to the
# rectangle (left = -1 when there is none), then the ink in its top and bottom
# rows and in its fullest row.
ink_box() { # screenshot, x y width height, background colour
  convert "$1" -crop "${4}x${5}+$2+$3" +repage -depth 8 txt:- | awk -F'[ ,:()]+' -v bg="$6" '
    BEGIN {split(bg, b, ","); l = -1}
    NR > 1 {
      d = ($3 - b[1]) ^ 2 + ($4 - b[2]) ^ 2 + ($5 - b[3]) ^ 2
      if (d < 80 * 80) next
      n++
      if (l < 0 || $1 < l) l = $1; if ($1 > r) r = $1
      if (t == "" || $2 < t) t = $2; if ($2 > bt) bt = $2
      row[$2]++
    }
    END {
      for (y in row) if (row[y] > most) most = row[y]
      print l, t + 0, r + 0, bt + 0, n + 0, row[t] + 0, row[bt] + 0, most + 0
    }'
}

declare -A ink_size=()

# Checks a window at the current DPI: its client area's size and place, then
# each caption. The controls are lines "name kind left top width height
# [container-left container-top [clip-width]]" in twips; a label's visible
# width is clipped where a field covers it.
check_window() { # window id, caption, client width height left top (twips), controls
  local id=$1 name=$2 controls=$7 shot x y w h cw ch cl ct el et
  shot=$work/shot.png
  read -r _ x y w h _ < <(visible_windows | awk -v id="$id" '$1 == id')
  [ -n "${h:-}" ] || fail "$name: window $id is not visible"
  timeout 10 import -window "$id" "$shot" || fail "$name: no screenshot of window $id"
  read_frame "$shot" "$w" "$h"
  cw=$(px "$3") ch=$(px "$4")
  # Where the program first puts a window: its design place, moved back
  # inside the work area (here the whole screen) where it would stick out.
  el=$(px "$5") et=$(px "$6")
  el=$(( el + cw > SCREEN_W ? SCREEN_W - cw : el )); el=$(( el < 0 ? 0 : el ))
  et=$(( et + ch > SCREEN_H ? SCREEN_H - ch : et )); et=$(( et < 0 ? 0 : et ))
  cl=$(( x + FL )) ct=$(( y + FT ))
  [ "$(( w - FL - FR )) $(( h - FT - FB ))" = "$cw $ch" ] ||
    fail "$name at $DPI dpi: client area expected ${cw}x$ch but is $(( w - FL - FR ))x$(( h - FT - FB )) (window ${w}x$h, frame $FL $FT $FR $FB)"
  [ "$cl $ct" = "$el $et" ] ||
    fail "$name at $DPI dpi: client area expected at $el,$et but is at $cl,$ct"
  pass "$name: client area ${cw}x$ch at $cl,$ct (frame $FL $FT $FR $FB)"

  local cname kind l t cwid chei ol ot clip rl rt rw rh inset bg il it ir ib n in_top in_bottom most was
  while read -r cname kind l t cwid chei ol ot clip; do
    [ -n "$cname" ] || continue
    read -r rl rt rw rh < <(rect_px "$l" "$t" "$cwid" "$chei")
    if [ -n "${ol:-}" ]; then
      read -r ol ot _ < <(rect_px "$ol" "$ot" 0 0)
      rl=$(( rl + ol )) rt=$(( rt + ot ))
    fi
    [ -n "${clip:-}" ] && rw=$(( $(px $(( l + clip ))) - $(px "$l") ))
    rl=$(( rl + FL )) rt=$(( rt + FT ))
    if [ "$kind" = button ]; then
      # Inside the button's border and the focus rectangle Wine draws 3 px
      # within it; the program leaves 4 px at 96 dpi around a caption.
      inset=$(( (4 * DPI + 48) / 96 ))
      rl=$(( rl + inset )) rt=$(( rt + inset )) rw=$(( rw - 2 * inset )) rh=$(( rh - 2 * inset ))
    fi
    bg=$(convert "$shot" -format "%[fx:int(255*p{$rl,$rt}.r+0.5)],%[fx:int(255*p{$rl,$rt}.g+0.5)],%[fx:int(255*p{$rl,$rt}.b+0.5)]" info:)
    read -r il it ir ib n in_top in_bottom most < <(ink_box "$shot" "$rl" "$rt" "$rw" "$rh" "$bg")
    [ "$n" -ge 10 ] ||
      fail "$name at $DPI dpi: no caption drawn in $cname ($rw x $rh at $rl,$rt in the window, background $bg)"
    # Controls clip their captions. A button's caption is centred within
    # the program's margin, so one too big reaches the edges of the area
    # inside it. A label's text starts at its left edge, so one too long
    # reaches the right edge; a label's text may fill its height, but where
    # the ink meets the top or bottom edge only the glyphs' tips may: a row
    # cut through the glyphs holds about as much ink as the fullest row.
    if [ "$kind" = button ]; then
      [ "$il" -ge 1 ] && [ "$it" -ge 1 ] && [ "$ir" -le $(( rw - 2 )) ] && [ "$ib" -le $(( rh - 2 )) ]
    else
      [ "$ir" -le $(( rw - 2 )) ] &&
        { [ "$it" -ge 1 ] || [ $(( in_top * 3 )) -le "$most" ]; } &&
        { [ "$ib" -le $(( rh - 2 )) ] || [ $(( in_bottom * 3 )) -le "$most" ]; }
    fi ||
      fail "$name at $DPI dpi: the caption of $cname reaches the edge of its ${rw}x$rh area (ink $il,$it..$ir,$ib; top row $in_top, bottom row $in_bottom, fullest row $most pixels)"
    # The text scales with the resolution: a font left at its 96 dpi size
    # fits anywhere, and one too big is cut to the control's height but
    # shows too wide.
    was=${ink_size[$name.$cname]-}
    if [ -z "$was" ]; then
      ink_size[$name.$cname]="$(( ir - il + 1 )) $(( ib - it + 1 ))"
    else
      local ww wh sw=$(( ir - il + 1 )) sh=$(( ib - it + 1 ))
      read -r ww wh <<<"$was"
      { [ $(( sw * 96 * 100 )) -ge $(( ww * DPI * 85 )) ] && [ $(( sw * 96 * 100 )) -le $(( ww * DPI * 115 )) ] &&
        [ $(( sh * 96 * 100 )) -ge $(( wh * DPI * 80 )) ]; } ||
        fail "$name at $DPI dpi: the caption of $cname is ${sw}x$sh px of ink, ${ww}x$wh at 96 dpi: not scaled by $DPI/96"
    fi
    pass "$name: $cname's caption fits (ink $il,$it..$ir,$ib in ${rw}x$rh)"
  done <<<"$controls"
}

# Clicks the centre of a control of a window whose client area is at the
# position check_window found.
click_in() { # window id, left top width height (twips)
  local x y w h rl rt rw rh
  read -r _ x y w h _ < <(visible_windows | awk -v id="$1" '$1 == id')
  read -r rl rt rw rh < <(rect_px "$2" "$3" "$4" "$5")
  focus_window "$1"
  timeout 5 xdotool mousemove $(( x + FL + rl + rw / 2 )) $(( y + FT + rt + rh / 2 )) click 1 ||
    fail "cannot click in window $1"
}


start_program() {
  : >"$work/program.log"
  "$wine_run" --prefix "$prefix" "$program" >"$work/program.log" 2>&1 &
  app_pid=$!
}

expect_exit() { # what
  local deadline=$(( $(now_ms) + 15000 )) status
  while kill -0 "$app_pid" 2>/dev/null && [ "$(awk '{print $3}' "/proc/$app_pid/stat" 2>/dev/null)" != Z ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "$1: the program is still running after 15 s"
    sleep 0.05
  done
  wait "$app_pid"
  status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "$1: exit status expected 0 but was $status"
  pass "$1: the program ended with status 0"
}

# --- the windows' designs (twips) ---------------------------------------------------

title="Quimbel V2.3"
welcome_controls="Label1 label 240 600 4095 255
Command1 button 1680 1560 1335 615
Label2 label 3000 2760 1575 255
Label3 label 120 2760 2055 255"
# Label2 runs under Text1 from 1920 on; Label4 and Label5 lie in Frame1.
main_controls="Label2 label 240 240 1695 255 0 0 1680
Command1 button 3840 240 1455 615
Command3 button 5640 240 1455 615
Label1 label 240 1200 1095 255
Command2 button 3840 1200 1455 615
Command4 button 5640 1200 1455 615
Label4 label 120 360 975 255 120 2040
Label5 label 120 1320 1455 255 120 2040
Label3 label 3960 2160 3135 2055"
prompt_controls="Command1 button 1320 960 1215 495
Label1 label 480 360 2775 255"

# --- four resolutions ---------------------------------------------------------------

for DPI in 96 120 144 192; do
  step="$DPI dpi"
  set_registry 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$DPI" "$(printf '0x%x' "$DPI")"
  start_program
  wait_windows "the welcome dialog opens alone" "$title" "$title"
  welcome=$WIN
  check_window "$welcome" welcome 4590 3030 9540 5295 "$welcome_controls"
  click_in "$welcome" 1680 1560 1335 615
  wait_windows "OK on the welcome dialog shows the main window" "$title" "$title"
  main=$WIN
  [ "$main" != "$welcome" ] || fail "the welcome dialog is still shown"
  check_window "$main" main 7350 4470 2835 2910 "$main_controls"
  # 英寸换算厘米 with Text1 empty opens the inch prompt.
  click_in "$main" 3840 240 1455 615
  wait_windows "英寸换算厘米 on an empty Text1 opens a prompt" "提示" "$title" "提示"
  prompt=$WIN
  check_window "$prompt" prompt 3735 1845 7995 5580 "$prompt_controls"
  click_in "$prompt" 1320 960 1215 495
  wait_windows "OK closes the prompt" "$title" "$title"
  click_in "$main" 5640 1200 1455 615
  expect_exit "退出"
done

# --- Windows 7 ------------------------------------------------------------------------

step="Windows 7"
DPI=96
set_registry 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD 96 0x60
set_registry 'HKCU\Software\Wine' Version REG_SZ win7 win7
ver=$(wine cmd /c ver 2>/dev/null | tr -d '\r' | grep -o '[0-9][0-9.]*' | head -n1)
"$wine_run" --prefix "$prefix" --stop
[[ $ver == 6.1.* ]] || fail "Wine reports Windows version '$ver', not 6.1 (Windows 7)"
pass "Wine reports Windows $ver"
start_program
wait_windows "the welcome dialog opens alone" "$title" "$title"
welcome=$WIN
# The frame (for the clicks) and the client area, as at 96 dpi above.
check_window "$welcome" welcome 4590 3030 9540 5295 ""
click_in "$welcome" 1680 1560 1335 615
wait_windows "OK on the welcome dialog shows the main window" "$title" "$title"
main=$WIN
focus_window "$main"
# Text1 has the focus when the main window opens.
timeout 10 xdotool type --delay 20 -- 17 || fail "cannot type"
click_in "$main" 3840 240 1455 615
sentinel="<windows-dpi sentinel>"
printf '%s' "$sentinel" | timeout 5 xclip -selection clipboard -i
click_in "$main" 1920 1200 1575 615
timeout 10 xdotool key ctrl+a ctrl+c || fail "cannot copy"
deadline=$(( $(now_ms) + 5000 ))
while text=$(timeout 2 xclip -o -selection clipboard 2>/dev/null); [ "$text" = "$sentinel" ]; do
  [ "$(now_ms)" -gt "$deadline" ] && break
  sleep 0.05
done
[ "$text" = 41.99 ] || fail "17 in converts to '$text' cm in Text2, not 41.99"
pass "17 in with 英寸换算厘米 gives 41.99 cm"
click_in "$main" 5640 1200 1455 615
expect_exit "退出"

step=all
echo "PASS: all checks in $(( ($(date +%s%N) - started) / 1000000 )) ms"
