#!/usr/bin/env bash
# Makes the Windows packages with CPack and tries them under Wine, in a Wine
# prefix and an X server of the test's own:
#   - the .zip holds quimbel.exe and nothing else;
#   - the installer carries the icon and a version block, and speaks
#     Simplified Chinese on a Chinese system and English on any other;
#   - run with /S it installs quimbel.exe (the same file as in the .zip) and
#     the uninstaller in Program Files\Quimbel, a Start-menu shortcut to the
#     program with its icon, and an entry in the list of installed programs,
#     and nothing else;
#   - the installed program starts and shows the welcome dialog;
#   - the uninstaller, started as the list of installed programs starts it,
#     with /S, takes away every file, shortcut and registry entry: after a
#     restart the prefix is as it was before the install.
#
#   install_uninstall.sh WINE-RUN CMAKE CPACK CPACK-CONFIG PROBE ICON TITLE
#                        VERSION VERSION-QUAD PUBLISHER WORK-DIR
#
# CMAKE and CPACK are the build's cmake and cpack, CPACK-CONFIG its
# CPackConfig.cmake; PROBE is quimbel_installer_probe.exe, ICON the quimbel.ico the build drew.
# Prints one line per check. Exits 1 on the first failure, 77 when a tool it
# needs is missing (1 when CI=true: CI installs them all).
set -uo pipefail

if [ $# -ne 11 ]; then
  echo "usage: $0 WINE-RUN CMAKE CPACK CPACK-CONFIG PROBE ICON TITLE VERSION VERSION-QUAD PUBLISHER WORK-DIR" >&2
  exit 2
fi
wine_run=$1 cmake=$2 cpack=$3 cpack_config=$4 probe=$5 icon=$6
title=$7 version=$8 version_quad=$9 publisher=${10} work=${11}
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/x_server.sh"

require_tools makensis Xvfb xdotool xwininfo timeout flock

started=$(date +%s)
prefix=$work/prefix
xvfb_pid=""
app_pid=""
watchdog_pid=""
step="setting up"

# Wine would add the Start-menu shortcut to the Linux desktop's menus, in the
# home folder: none of that here, and anything it writes stays in WORK-DIR.
export WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export XDG_DATA_HOME=$work/xdg/data XDG_CONFIG_HOME=$work/xdg/config

wine() { "$wine_run" --prefix "$prefix" "$@"; }

cleanup() {
  [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
  [ -d "$prefix" ] && "$wine_run" --prefix "$prefix" --stop
  stop_watchdog_and_x_server
}
trap cleanup EXIT
trap 'echo "FAIL [$step]: stopped after $(( $(date +%s) - started )) s" >&2; exit 1' INT TERM

start_watchdog 270 "FAIL: the whole test ran over 270 s"

fail() {
  echo "FAIL [$step]: $*" >&2
  exit 1
}
pass() { echo "ok   [$step] $*"; }

# "C:\..." for a file of the Linux file system: Wine maps / to drive Z.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

rm -rf "$work"
mkdir -p "$work"

# --- the packages -------------------------------------------------------------
step=packages
if ! timeout 300 "$cpack" --config "$cpack_config" -B "$work/package" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack failed"
fi
mapfile -t installers < <(find "$work/package" -maxdepth 1 -name '*.exe')
mapfile -t zips < <(find "$work/package" -maxdepth 1 -name '*.zip')
[ ${#installers[@]} -eq 1 ] && [ ${#zips[@]} -eq 1 ] ||
  fail "expected one installer and one .zip, found: ${installers[*]} ${zips[*]}"
installer=${installers[0]}
zip=${zips[0]}
pass "$(basename "$installer") ($(stat -c %s "$installer") bytes), $(basename "$zip") ($(stat -c %s "$zip") bytes)"

entries=$(cd "$work" && "$cmake" -E tar tf "$zip" 2>&1) || fail "cannot list $zip: $entries"
[ "$entries" = quimbel.exe ] || fail "the .zip should hold quimbel.exe alone, holds:
$entries"
mkdir -p "$work/unzipped"
(cd "$work/unzipped" && "$cmake" -E tar xf "$zip") || fail "cannot unpack $zip"
pass "the .zip holds quimbel.exe alone"

# --- the Wine prefix and the X server -----------------------------------------
step=prefix
wine --init || fail "could not create the Wine prefix $prefix"

start_x_server "$work" || fail "Xvfb did not start"

# --- what the installer carries -----------------------------------------------
step=installer
probe() { timeout 60 "$wine_run" --prefix "$prefix" "$probe" "$@"; }

info=$(probe version "$(windows_path "$installer")") || fail "cannot read the installer's version block"
value() { sed -n "s/^$1=//p" <<<"$info" | sort -u; }
for key in fixed.FileVersion fixed.ProductVersion 0804.ProductVersion 0409.ProductVersion; do
  [ "$(value "$key")" = "$version_quad" ] || fail "$key should be $version_quad:
$info"
done
[ "$(value 0409.CompanyName)" = "$publisher" ] || fail "the English CompanyName should be $publisher:
$info"
for lang in 0804 0409; do
  case "$(value $lang.FileDescription)" in
    "$title "?*) ;;
    *) fail "the $lang FileDescription should name $title:
$info" ;;
  esac
  [ -n "$(value $lang.CompanyName)" ] && [ -n "$(value $lang.ProductName)" ] ||
    fail "the $lang block lacks the company or product:
$info"
done
pass "version $version_quad, in Chinese and English, from $publisher"

icons=$(probe icon "$(windows_path "$installer")" "$(windows_path "$icon")") ||
  fail "the installer's icon is not quimbel.ico:
$icons"
pass "its icon is quimbel.ico, every image ($(grep -c '^image' <<<"$icons"))"

# The window title names the language: the first page's caption.
caption_under() { # LOCALE -> the installer's window title with that locale
  local pid id name="" deadline=$(( $(date +%s) + 60 ))
  LC_ALL=$1 LANG=$1 "$wine_run" --prefix "$prefix" "$installer" >>"$work/installer-ui.log" 2>&1 &
  pid=$!
  while [ -z "$name" ] && [ "$(date +%s)" -le "$deadline" ] && kill -0 "$pid" 2>/dev/null; do
    for id in $(timeout 5 xdotool search --onlyvisible --name "^$title " 2>/dev/null); do
      name=$(timeout 5 xdotool getwindowname "$id" 2>/dev/null) && break
    done
    [ -n "$name" ] || sleep 0.1
  done
  kill -TERM "$pid" 2>/dev/null
  timeout 20 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo "$name"
}
caption=$(caption_under zh_CN.UTF-8)
[ "$caption" = "$title 安装" ] || fail "on a Chinese system the installer should be titled '$title 安装', was '$caption'"
caption=$(caption_under de_DE.UTF-8)
[ "$caption" = "$title Setup" ] || fail "on a German system the installer should fall back to English '$title Setup', was '$caption'"
pass "speaks Chinese on a Chinese system ('$title 安装'), English on a German one"

# --- snapshots of the prefix --------------------------------------------------
# Files and folders of drive C, and every registry value with its key. Wine
# writes the registry out when its server ends. The display driver stamps
# DriverDateData with the time at every start: left out.
snapshot() { # NAME
  wine --stop
  (cd "$prefix" && find drive_c | LC_ALL=C sort) >"$work/$1.files"
  (cd "$prefix" && for hive in system.reg user.reg userdef.reg; do
     sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' -e '/^#time=/d' "$hive" |
       awk -v hive="$hive" '/^\[/ { key = $0; print hive " " key; next }
                            NF && !/^"DriverDateData"=/ { print hive " " key " " $0 }'
   done | LC_ALL=C sort) >"$work/$1.registry"
}

# Simulates restarting Windows: what was set to be deleted then is deleted.
restart() {
  timeout 120 "$wine_run" --prefix "$prefix" wineboot -r >>"$work/wine.log" 2>&1 ||
    fail "wineboot -r failed"
}

# Taken after a restart too, so both sides saw the display driver start.
step=before
restart
snapshot before
pass "$(wc -l <"$work/before.files") files and folders, $(wc -l <"$work/before.registry") registry lines"

# --- silent install -----------------------------------------------------------
step=install
timeout 120 "$wine_run" --prefix "$prefix" "$installer" /S >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "the silent install failed or ran over 120 s"; }
pass "$(basename "$installer") /S"

instdir_win='C:\Program Files\Quimbel'
instdir=$prefix/drive_c/Program\ Files/Quimbel
shortcut=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/$title.lnk
installed=$(cd "$instdir" 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
[ "$installed" = "./Uninstall.exe ./quimbel.exe " ] ||
  fail "Program Files\\Quimbel should hold quimbel.exe and Uninstall.exe, holds: ${installed:-nothing}"
cmp -s "$instdir/quimbel.exe" "$work/unzipped/quimbel.exe" ||
  fail "the installed quimbel.exe differs from the one in the .zip"
pass "Program Files\\Quimbel: quimbel.exe (as in the .zip) and Uninstall.exe"

icons=$(probe icon "$instdir_win\\Uninstall.exe" "$(windows_path "$icon")") ||
  fail "the uninstaller's icon is not quimbel.ico:
$icons"
pass "the uninstaller carries quimbel.ico"

[ -f "$shortcut" ] || fail "no Start-menu shortcut at ${shortcut#"$prefix"/}"
link=$(probe shortcut "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$title.lnk") ||
  fail "cannot read the shortcut"
link_value() { sed -n "s/^$1=//p" <<<"$link"; }
[ "$(link_value target)" = "$instdir_win\\quimbel.exe" ] &&
  [ "$(link_value icon)" = "$instdir_win\\quimbel.exe" ] && [ "$(link_value icon_index)" = 0 ] ||
  fail "the shortcut should start quimbel.exe and show its first icon:
$link"
pass "Start menu: '$title' starts quimbel.exe, with its icon"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quimbel'
entry=$(wine reg query "$uninstall_key" 2>&1 | tr -d '\r') || fail "no uninstall entry $uninstall_key: $entry"
reg_value() { # NAME -> its data, from the lines "    NAME    REG_SZ    DATA"
  awk -v name="$1" 'BEGIN { FS = "    " } $2 == name { print $4 }' <<<"$entry"
}
expect_value() { # NAME DATA
  [ "$(reg_value "$1")" = "$2" ] || fail "$1 of the uninstall entry should be '$2':
$entry"
}
expect_value DisplayName "$title"
expect_value DisplayVersion "$version"
expect_value Publisher "$publisher"
expect_value DisplayIcon "$instdir_win\\quimbel.exe,0"
expect_value UninstallString "\"$instdir_win\\Uninstall.exe\""
pass "installed programs: '$title' $version from $publisher, with the program's icon"

# Nothing but those: the files and registry keys the install added.
snapshot installed
added_files=$(LC_ALL=C comm -13 "$work/before.files" "$work/installed.files" | tr '\n' '|')
[ "$added_files" = "drive_c/Program Files/Quimbel|drive_c/Program Files/Quimbel/Uninstall.exe|drive_c/Program Files/Quimbel/quimbel.exe|drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$title.lnk|" ] ||
  fail "the install added other files than its own: ${added_files//|/$'\n'}"
added_keys=$(LC_ALL=C comm -13 <(grep -v '\] ' "$work/before.registry") \
                               <(grep -v '\] ' "$work/installed.registry"))
[ "$added_keys" = 'system.reg [Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quimbel]' ] ||
  fail "the install added other registry keys than its entry:
$added_keys"
pass "and nothing else: no other file or registry key"

# --- the installed program ----------------------------------------------------
# Started as the shortcut starts it. The welcome dialog comes first: one
# window titled TITLE, its client area 4590 x 3030 twips (forms/Form4.cpp),
# 306 x 202 pixels at 96 dpi, in a frame Wine draws itself.
step=program
"$wine_run" --prefix "$prefix" "$(link_value target)" >"$work/program.log" 2>&1 &
app_pid=$!
deadline=$(( $(date +%s) + 60 ))
windows=""
while :; do
  windows=$(timeout 5 xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)
  [ -n "$windows" ] && break
  kill -0 "$app_pid" 2>/dev/null || { cat "$work/program.log" >&2; fail "the program ended without a window"; }
  [ "$(date +%s)" -le "$deadline" ] || fail "no window '$title' within 60 s"
  sleep 0.1
done
[ "$(wc -l <<<"$windows")" -eq 1 ] || fail "expected the welcome dialog alone, saw windows $windows"
read -r width height < <(timeout 5 xwininfo -id "$windows" |
  awk '/^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print w, h }')
[ "${width:-0}" -ge 306 ] && [ "$width" -le 366 ] && [ "${height:-0}" -ge 202 ] && [ "$height" -le 262 ] ||
  fail "the first window is ${width}x$height, not the welcome dialog (306x202 and its frame)"
pass "quimbel.exe shows the welcome dialog (${width}x$height with its frame)"
kill -TERM "$app_pid"
timeout 20 tail --pid="$app_pid" -f /dev/null || kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null
app_pid=""

# --- silent uninstall ---------------------------------------------------------
# The uninstaller copies itself to %TEMP%, starts the copy and returns at
# once: the copy does the work, then has itself deleted at the next restart.
step=uninstall
uninstall=$(reg_value UninstallString)
uninstall=${uninstall#\"}
uninstall=${uninstall%\"}
timeout 60 "$wine_run" --prefix "$prefix" "$uninstall" /S >"$work/uninstall.log" 2>&1 ||
  { cat "$work/uninstall.log" >&2; fail "the uninstaller failed"; }

# The uninstaller and its copy: Windows programs of the prefix, but Wine's
# own (those in C:\windows). Known by their image, a Windows path: Wine also
# starts host programs with the prefix's environment (dbus-launch, where
# dbus-x11 is installed, as on any desktop), which may run on.
uninstaller_running() {
  local proc cmd
  for proc in /proc/[0-9]*; do
    grep -qzxF "WINEPREFIX=$prefix" "$proc/environ" 2>/dev/null || continue
    cmd=$(tr '\0' ' ' <"$proc/cmdline" 2>/dev/null) || continue
    case "${cmd,,}" in
      'c:\windows\'*) ;;
      [a-z]':\'*) echo "$cmd"; return 0 ;;
    esac
  done
  return 1
}
# Until the copy has ended and the folder is gone: between the first
# uninstaller's end and the copy's start, neither may be seen running.
deadline=$(( $(date +%s) + 60 ))
while running=$(uninstaller_running) || [ -e "$instdir" ]; do
  if [ "$(date +%s)" -gt "$deadline" ]; then
    [ -n "$running" ] && fail "the uninstaller still runs after 60 s: $running"
    fail "Program Files\\Quimbel is still there after 60 s: $(ls -A "$instdir")"
  fi
  sleep 0.2
done
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is still there"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall entry is still there"
pass "$uninstall /S: folder, shortcut and entry gone"

step=after
restart
snapshot after
# The uninstaller's copy in %TEMP% goes at the restart; Wine leaves its
# emptied folder behind, which Windows removes with it.
leftover=$(LC_ALL=C comm -13 "$work/before.files" "$work/after.files" |
  grep -v -x 'drive_c/users/[^/]*/Temp/~nsu[^/]*\.tmp')
gone=$(LC_ALL=C comm -23 "$work/before.files" "$work/after.files")
[ -z "$leftover$gone" ] || fail "drive C differs from before the install:
left: ${leftover:-none}
missing: ${gone:-none}"
registry_diff=$(diff "$work/before.registry" "$work/after.registry")
[ -z "$registry_diff" ] || fail "the registry differs from before the install:
$registry_diff"
! grep -qi quimbel "$prefix"/*.reg || fail "the registry still names Quimbel:
$(grep -i quimbel "$prefix"/*.reg)"
pass "after a restart, drive C and the registry are as before the install"
