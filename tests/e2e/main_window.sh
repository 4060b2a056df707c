# The program's windows as a drive from outside finds them: sourced by the
# end-to-end drives that work in the main window (after x_server.sh). Each
# drive defines fail MESSAGE, which ends it.
#
#   await_welcome [SECONDS]  sets WINDOW to the welcome dialog and learns the
#                            frame the toolkit draws around a window
#   await_main               sets WINDOW to the main window, once shown
#   click WINDOW LEFT TOP WIDTH HEIGHT   clicks a control's centre (twips)

title="Quimbel V2.3"
frame_w=0 frame_h=0 frame_left=0 frame_top=0

window_size() { timeout 5 xwininfo -id "$1" 2>/dev/null | awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}'; }

# The welcome dialog (client 306 x 202) is the first window; a frame drawn by
# the program's toolkit itself (Wine) shows as extra size around it.
await_welcome() { # [seconds]
  local seconds=${1:-30} deadline w h
  deadline=$(( $(now_ms) + seconds * 1000 ))
  until WINDOW=$(timeout 5 xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1) &&
    [ -n "$WINDOW" ]; do
    [ "$(now_ms)" -gt "$deadline" ] && fail "no welcome dialog within $seconds s"
    sleep 0.05
  done
  read -r w h <<<"$(window_size "$WINDOW")"
  frame_w=$((w - 306)) frame_h=$((h - 202))
  frame_left=$((frame_w / 2)) frame_top=$((frame_h - frame_w / 2))
}

await_main() { # client 490 x 298
  local deadline=$(( $(now_ms) + 10000 )) id
  while :; do
    for id in $(timeout 5 xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
      [ "$(window_size "$id")" = "$((490 + frame_w)) $((298 + frame_h))" ] && { WINDOW=$id; return; }
    done
    [ "$(now_ms)" -gt "$deadline" ] && fail "closing the welcome dialog did not show the main window"
    sleep 0.05
  done
}

click() { # window, control left top width height (twips; 15 a pixel)
  local ox oy
  read -r ox oy <<<"$(timeout 5 xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}')"
  timeout 5 xdotool mousemove $((ox + frame_left + $2 / 15 + $4 / 30)) $((oy + frame_top + $3 / 15 + $5 / 30)) click 1 ||
    fail "cannot click"
}
