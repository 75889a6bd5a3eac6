#!/usr/bin/env bash
# QuenvaleSetup.exe under Wine inside Xvfb, as a user runs it: copied alone into a
# download folder (no DLLs beside it), then
#   - a silent install into a quoted folder with a space and a trailing backslash: every
#     table file byte for byte as built, the setup copy, both start menu links and the
#     desktop link, the uninstall key with each of its values, EstimatedSize from the
#     installed sizes;
#   - a silent install over a read-only program file exits 1 and names it;
#   - a silent removal run by the setup copy: files, links and key go at once, the setup
#     copy and the folder through the delayed command shell (bounded wait);
#   - the window: class, title, default folder, buttons, its pixels; an option row
#     clicked off; INSTALL pressed twice runs one install (CLOSE, window still open, also
#     after a click right behind the CLOSE showing); CLOSE ends the program; the removal window reads the key's folder and removes it;
#     closing the window during an install lets the install finish and ends the program.
# Builds what it needs in build-win/ like scripts/win/test.sh, in its own Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
B=build-win

if [ "${1:-}" != "--inside" ]; then
  bash scripts/win/build.sh quenvale_setup_win setup_probe

  export WINEPREFIX=$PWD/$B/wineprefix-setup WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
  if [ ! -f "$WINEPREFIX/.quenvale-ready" ]; then
    bash scripts/win/wine-prefix.sh >"$B/wineprefix-setup.log" 2>&1 || { tail -20 "$B/wineprefix-setup.log"; exit 1; }
  fi
  # Wine links the profile's Desktop to $HOME; the tests' links stay inside the prefix.
  desktop="$WINEPREFIX/drive_c/users/$(whoami)/Desktop"
  if [ -L "$desktop" ]; then rm "$desktop"; mkdir -p "$desktop"; fi
  exec timeout 900 xvfb-run -a -s '-screen 0 1280x1024x24' bash "$0" --inside
fi

# ---- inside Xvfb: one wineserver for the whole run; a failed step is counted, not fatal ----
set +e
wineserver -k 2>/dev/null || true
C=$WINEPREFIX/drive_c
USERDIR=$C/users/$(whoami)
DESKTOP=$USERDIR/Desktop
MENU="$USERDIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quenvale"
KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenvale'
PROBE="$ROOT/$B/bin/setup_probe.exe"
failures=0
ok() { echo "  ok: $*"; }
bad() { echo "  FAIL: $*"; failures=$((failures + 1)); }
expect() { if [ "$2" = "$3" ]; then ok "$1"; else bad "$1: got '$2', want '$3'"; fi; }
probe() { wine "$PROBE" "$@" | tr -d '\r'; }
field() { sed -n "s/^$1: //p"; }
reg_value() { wine reg query "$KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }
key_exists() { wine reg query "$KEY" >/dev/null 2>&1; }
clean_state() {
  wine reg delete "$KEY" /f >/dev/null 2>&1 || true
  rm -rf "$C/dl" "$C/users/Public/Q Test" "$USERDIR/AppData/Local/Quenvale" "$MENU" "$DESKTOP/Quenvale.lnk"
  mkdir -p "$C/dl"
  cp "$ROOT/$B/bin/QuenvaleSetup.exe" "$C/dl/QuenvaleSetup.exe"
}

# The Windows table: name and build source of each entry, from setup/table.cpp.
mapfile -t TABLE < <(sed -n '/^#ifdef _WIN32/,/^#else/p' setup/table.cpp | grep -o '{"[^"]*", "[^"]*"' |
  sed 's/{"\([^"]*\)", "\([^"]*\)"/\1|\2/')
carried=$(grep -c ' RCDATA ' "$B/setup/quenvale_setup.rc")
expect "the table has an RCDATA resource for each entry (and the picture)" "$((${#TABLE[@]} + 1))" "$carried"

# Compares the installed files with the build's; echoes their total bytes.
check_installed() {
  local dir=$1 total=0 same=0 name src
  for row in "${TABLE[@]}"; do
    name=${row%%|*}; src=${row#*|}
    if cmp -s "$dir/$name" "$ROOT/$B/$src"; then same=$((same + 1)); fi
    [ -f "$dir/$name" ] && total=$((total + $(stat -c %s "$dir/$name")))
  done
  expect "installed files equal to the built ones" "$same" "${#TABLE[@]}" >&2
  [ -f "$dir/QuenvaleSetup.exe" ] && total=$((total + $(stat -c %s "$dir/QuenvaleSetup.exe")))
  echo "$total"
}

echo "silent install"
clean_state
out=$(probe run 'C:\dl\QuenvaleSetup.exe /S /D="C:\users\Public\Q Test\"')
expect "exit code" "$(echo "$out" | field exit)" 0
DIR="$C/users/Public/Q Test"
total=$(check_installed "$DIR")
if cmp -s "$DIR/QuenvaleSetup.exe" "$ROOT/$B/bin/QuenvaleSetup.exe"; then ok "setup copy"; else bad "setup copy"; fi
expect "files in the folder (table, setup copy)" "$(find "$DIR" -type f | wc -l)" "$((${#TABLE[@]} + 1))"
for l in "$DESKTOP/Quenvale.lnk" "$MENU/Quenvale.lnk" "$MENU/Uninstall Quenvale.lnk"; do
  if [ -s "$l" ]; then ok "link ${l#"$USERDIR"/}"; else bad "missing link $l"; fi
done
expect DisplayName "$(reg_value DisplayName)" "Quenvale"
expect UninstallString "$(reg_value UninstallString)" '"C:\users\Public\Q Test\QuenvaleSetup.exe" /uninstall'
expect InstallLocation "$(reg_value InstallLocation)" 'C:\users\Public\Q Test'
expect DisplayIcon "$(reg_value DisplayIcon)" 'C:\users\Public\Q Test\Quenvale.exe'
expect Publisher "$(reg_value Publisher)" "Orvane"
expect DisplayVersion "$(reg_value DisplayVersion)" "0.001"
expect URLInfoAbout "$(reg_value URLInfoAbout)" "https://www.orvane.app/quenvale/"
expect HelpLink "$(reg_value HelpLink)" "https://www.orvane.app/quenvale/"
expect NoModify "$(reg_value NoModify)" 0x1
expect NoRepair "$(reg_value NoRepair)" 0x1
expect "EstimatedSize ($total bytes)" "$(reg_value EstimatedSize)" "$(printf '0x%x' $(((total + 1023) / 1024)))"

echo "silent install over a read-only program"
chmod a-w "$DIR/Quenvale.exe"
out=$(probe run 'C:\dl\QuenvaleSetup.exe /S /D="C:\users\Public\Q Test"')
expect "exit code" "$(echo "$out" | field exit)" 1
chmod u+w "$DIR/Quenvale.exe"

echo "silent removal by the setup copy"
out=$(probe run '"C:\users\Public\Q Test\QuenvaleSetup.exe" /uninstall /S')
expect "exit code" "$(echo "$out" | field exit)" 0
if key_exists; then bad "uninstall key still there"; else ok "uninstall key removed"; fi
left=0
for row in "${TABLE[@]}"; do [ -e "$DIR/${row%%|*}" ] && left=$((left + 1)); done
expect "table files left" "$left" 0
if [ -e "$DESKTOP/Quenvale.lnk" ] || [ -e "$MENU" ]; then bad "links or menu folder left"; else ok "links and menu folder removed"; fi
for _ in $(seq 1 30); do [ -e "$DIR" ] || break; sleep 0.5; done
if [ -e "$DIR" ]; then bad "setup copy or folder left after 15 s: $(ls -A "$DIR")"; else ok "setup copy and folder removed by the delayed shell"; fi

echo "the window"
clean_state
wine "$PROBE" start 'C:\dl\QuenvaleSetup.exe' >/dev/null 2>&1 </dev/null
win=$(probe window)
expect class "$(echo "$win" | field class)" OVQuenvaleSetupWnd
expect title "$(echo "$win" | field title)" "Quenvale Setup"
expect folder "$(echo "$win" | field folder)" "C:\\users\\$(whoami)\\AppData\\Local\\Quenvale"
expect action "$(echo "$win" | field action)" INSTALL
expect browse "$(echo "$win" | field browse)" BROWSE
shot=$(probe shot)
expect "client size" "$(echo "$shot" | field size)" "800 780"
bg=$(echo "$shot" | field background); gold=$(echo "$shot" | field gold); panel=$(echo "$shot" | field panel)
if [ "${bg:-0}" -gt 400000 ]; then ok "mostly the dark background ($bg px)"; else bad "background pixels: $bg"; fi
if [ "${gold:-0}" -gt 12000 ]; then ok "gold action button ($gold px)"; else bad "gold pixels: $gold"; fi
if [ "${panel:-0}" -gt 20000 ]; then ok "folder box, option boxes, progress track ($panel px)"; else bad "panel pixels: $panel"; fi
# Rows at 96 DPI: options from y = 402, 38 high. Desktop shortcut and "Open" off.
probe point 50 421 >/dev/null
probe point 50 497 >/dev/null
late=$(probe install-clicks 303)
expect status "$(probe status 'Quenvale is ready.' | field status)" "Quenvale is ready."
win=$(probe window)
expect "action after the install (the second press was ignored)" "$(echo "$win" | field action)" CLOSE
# The window is still there after a click on CLOSE right behind the install.
expect "window after the $late" "$(echo "$win" | field class)" OVQuenvaleSetupWnd
expect "folder box disabled" "$(echo "$win" | field 'folder enabled')" 0
gold2=$(probe shot | field gold)
if [ "${gold2:-0}" -ge $((gold + 7000)) ]; then ok "full progress bar ($gold -> $gold2 gold px)"; else bad "gold pixels $gold -> $gold2"; fi
if [ -e "$DESKTOP/Quenvale.lnk" ]; then bad "desktop link made with the option off"; else ok "no desktop link (option off)"; fi
if [ -s "$MENU/Quenvale.lnk" ]; then ok "start menu link"; else bad "no start menu link"; fi
expect "installed into the default folder" "$(reg_value InstallLocation)" "C:\\users\\$(whoami)\\AppData\\Local\\Quenvale"
check_installed "$USERDIR/AppData/Local/Quenvale" >/dev/null
# A user's own click on CLOSE, past the double-click time: the checks above can finish
# within it, and the window rightly takes such a click as the late half of a double click.
sleep 1
probe click 303 >/dev/null
if probe gone >/dev/null; then ok "CLOSE ended the window"; else bad "CLOSE left the window open"; fi

echo "the removal window"
wine "$PROBE" start 'C:\dl\QuenvaleSetup.exe /uninstall' >/dev/null 2>&1 </dev/null
win=$(probe window)
expect title "$(echo "$win" | field title)" "Quenvale — Remove"
expect "folder from the key" "$(echo "$win" | field folder)" "C:\\users\\$(whoami)\\AppData\\Local\\Quenvale"
expect action "$(echo "$win" | field action)" UNINSTALL
probe click 303 >/dev/null
expect status "$(probe status 'Quenvale was removed.' | field status)" "Quenvale was removed."
if key_exists; then bad "uninstall key still there"; else ok "uninstall key removed"; fi
if [ -e "$USERDIR/AppData/Local/Quenvale" ]; then bad "install folder left: $(ls -A "$USERDIR/AppData/Local/Quenvale")"; else ok "install folder removed"; fi
probe close >/dev/null || true
probe gone >/dev/null

echo "closing the window while it installs"
clean_state
wine "$PROBE" start 'C:\dl\QuenvaleSetup.exe' >/dev/null 2>&1 </dev/null
probe window >/dev/null
probe point 50 497 >/dev/null
probe click 303 1 close >/dev/null
for _ in $(seq 1 60); do pgrep -f 'dl.QuenvaleSetup.exe' >/dev/null || break; sleep 0.5; done
if pgrep -f 'dl.QuenvaleSetup.exe' >/dev/null; then bad "the setup still runs 30 s after its window was closed"; else ok "the setup ended after the window was closed"; fi
if key_exists; then ok "the install ran to its end"; else bad "no uninstall key after closing during the install"; fi

wineserver -k 2>/dev/null || true
if [ "$failures" -gt 0 ]; then echo "setup-test: $failures failed"; exit 1; fi
echo "setup-test: all passed"
