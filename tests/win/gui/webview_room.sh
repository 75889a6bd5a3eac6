#!/usr/bin/env bash
# End to end under Wine: Quenvale.exe finds the stand-in WebView2 runtime the way it finds
# the installed one (the EBWebView value under HKCU's client-state key, then the DLL in
# <version folder>\EBWebView\x64), opens the room, and the stand-in plays a page: "hello"
# must come back as "look" through the real dispatcher and handlers; a resize and a DPI
# change must move the controller's bounds to the area below the header. A second run puts
# the stand-in beside a copy of the program as WebView2Loader.dll, with no registration.
#
# Runs inside a display with a wineserver up; needs WINEPREFIX and BIN (the build's bin
# folder, with Quenvale.exe, win_probe.exe and the stand-in built; or B, the build tree).
# Prints one "ok"/"FAIL" line per check; exits non-zero when any check failed.
set -uo pipefail
: "${WINEPREFIX:?wine prefix}"
BIN=$(cd "${BIN:-${B:?build tree}/bin}" && pwd)
KEY='HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'
PAGE='https://room.quenvale.local/index.html?v=40'
failures=0
check() {  # check NAME COMMAND...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
winpath() { winepath -w "$1" 2>/dev/null; }
probe() { wine "$BIN/win_probe.exe" "$@" 2>/dev/null </dev/null | tr -d '\r'; }
# Started programs must not inherit a pipe of ours: a reader would wait for them to end.
start_program() { wine "$BIN/win_probe.exe" start "$@" >/dev/null 2>&1 </dev/null; }

work=$(mktemp -d /tmp/quenvale-webview-XXXXXX)
trap 'wine reg delete "$KEY" /v EBWebView /f >/dev/null 2>&1; rm -rf "$work"' EXIT

# The header's height for a client height at a DPI: the layout rule of the main window
# (scaled(n) = n × dpi / 96 rounded to nearest; the worked examples: 600 → 142, 1000 → 222).
scaled() { echo $(( ($1 * $2 + 48) / 96 )); }
header_height() {
    local h=$1 dpi=$2 b k
    (( h <= 80 )) && h=$(scaled 900 "$dpi")
    b=$(( h * 26 / 100 ))
    (( b > $(scaled 280 "$dpi") )) && b=$(scaled 280 "$dpi")
    (( b < $(scaled 150 "$dpi") )) && b=$(scaled 150 "$dpi")
    k=$(( (h / 2 < b ? h / 2 : b) - $(scaled 38 "$dpi") ))
    (( k < $(scaled 142 "$dpi") )) && k=$(scaled 142 "$dpi")
    echo "$k"
}
check "header rule matches its worked examples" \
    test "$(header_height 600 96) $(header_height 1000 96) $(header_height 1200 96) $(header_height 50 96)" = "142 222 242 196"

# Runs EXE with LOCALAPPDATA=$1 until the script is done, then closes it; waits for the
# stand-in to see the web view and controller released.
run_room() {
    local local_app=$1 exe=$2 log=$3 i
    # A copy of the case before may still be ending: the program itself waits for it.
    start_program "$(winpath "$local_app")" "$(winpath "$exe")"
    for i in $(seq 1 600); do
        grep -q '^script done' "$log" 2>/dev/null && break
        sleep 0.1
    done
    probe close Quenvale >/dev/null
    for i in $(seq 1 300); do
        grep -q '^released controller' "$log" 2>/dev/null && [ "$(probe count Quenvale)" = "count=0" ] && break
        sleep 0.1
    done
}

# The last put_Bounds between the first line matching $2 and the next "script " line.
bounds_after() {
    awk -v start="$2" '
        index($0, start) == 1 { on = 1; next }
        on && /^script / { exit }
        on && /^put_Bounds / { last = substr($0, 12) }
        END { print last }' "$1"
}

# --- 1. the registered runtime ---------------------------------------------------------
mkdir -p "$work/local"
log="$work/fake.log"
cat > "$work/script.txt" <<'EOF'
{"op":"hello"}
!await "op":"look"
!resize 1000 1100
!wait 400
!dpi 144
!wait 400
EOF
wine reg add "$KEY" /v EBWebView /t REG_SZ /d "$(winpath "$BIN")\\webview2-runtime\\Application\\131.0.0.0" /f >/dev/null 2>&1
export QUENVALE_FAKE_WEBVIEW_LOG=$(winpath "$log") QUENVALE_FAKE_WEBVIEW_SCRIPT=$(winpath "$work/script.txt")
unset QUENVALE_FAKE_WEBVIEW_FAIL
run_room "$work/local" "$BIN/Quenvale.exe" "$log"

echo "--- stand-in log (registered runtime)"; cat "$log" 2>/dev/null; echo "---"
has() { grep -qF -- "$2" "$1"; }
check "environment made with the data folder" has "$log" "environment 1 0 no-options $(winpath "$work/local")\\Orvane\\quenvale"
check "web folder mapped to the room host" has "$log" "map room.quenvale.local 1 $(winpath "$BIN")\\QuenvaleWeb"
check "context menus off" has "$log" "setting AreDefaultContextMenusEnabled 0"
check "developer tools off" has "$log" "setting AreDevToolsEnabled 0"
check "page navigated" has "$log" "navigate $PAGE"
check "hello answered with look" test -n "$(awk '/^deliver \{"op":"hello"\}/ { on = 1 } on && /^post / && /"op":"look"/ { print; exit }' "$log")"
check "script finished without waiting out" bash -c "! grep -q 'timed out' '$log' && grep -q '^script done' '$log'"

# The layout takes the window's own DPI. Under Wine a WM_DPICHANGED sent by hand does not
# change it (run 4 starts at a higher DPI instead); the window still moves to the
# suggested rectangle and the bounds must follow its new client size.
read -r _ _ w1 h1 d1 < <(grep '^script client' "$log" | sed -n 1p)
read -r _ _ w2 h2 d2 < <(grep '^script client' "$log" | sed -n 2p)
want1="0 $(header_height "${h1:-0}" "${d1:-96}") ${w1:-0} ${h1:-0}"
want2="0 $(header_height "${h2:-0}" "${d2:-96}") ${w2:-0} ${h2:-0}"
got1=$(bounds_after "$log" "script resize")
got2=$(bounds_after "$log" "script dpi")
check "bounds after the resize: $got1 (want $want1)" test "$got1" = "$want1"
check "window moved to the suggested size" test "${w2:-0}" -gt "${w1:-0}"
check "bounds after WM_DPICHANGED: $got2 (want $want2)" test "$got2" = "$want2"
# Every put follows a read of different bounds: unchanged bounds are not set again.
check "unchanged bounds never set again" test -z "$(awk '
    /^get_Bounds / { seen = substr($0, 12) }
    /^put_Bounds / { if (substr($0, 12) == seen) print; seen = "" }' "$log")"
check "web view and controller released at close" bash -c "grep -q '^released web view' '$log' && grep -q '^released controller' '$log'"

# --- 2. WebView2Loader.dll beside the program, nothing registered -------------------------
wine reg delete "$KEY" /v EBWebView /f >/dev/null 2>&1
copy="$work/program"
mkdir -p "$copy" "$work/local2"
cp "$BIN"/Quenvale.exe "$BIN"/*.dll "$copy"/
cp "$BIN/webview2-runtime/Application/131.0.0.0/EBWebView/x64/EmbeddedBrowserWebView.dll" "$copy/WebView2Loader.dll"
log2="$work/fake2.log"
printf '{"op":"hello"}\n!await "op":"look"\n' > "$work/script2.txt"
export QUENVALE_FAKE_WEBVIEW_LOG=$(winpath "$log2") QUENVALE_FAKE_WEBVIEW_SCRIPT=$(winpath "$work/script2.txt")
run_room "$work/local2" "$copy/Quenvale.exe" "$log2"
echo "--- stand-in log (loader beside the program)"; cat "$log2" 2>/dev/null; echo "---"
check "loader DLL used, no browser folder, the data folder" \
    has "$log2" "loader environment <null> no-options $(winpath "$work/local2")\\Orvane\\quenvale"
check "loader route reaches the page" has "$log2" "navigate $PAGE"
check "loader route answers hello" grep -q '^post .*"op":"look"' "$log2"

# --- 3. nothing at all: the program runs and its status says to install the runtime ------
MISSING='WebView2 runtime is missing. Install it, then open Quenvale again.'
mkdir -p "$work/local3"
log3="$work/fake3.log"
export QUENVALE_FAKE_WEBVIEW_LOG=$(winpath "$log3")
start_program "$(winpath "$work/local3")" "$(winpath "$BIN/Quenvale.exe")"
probe wait Quenvale 20000 >/dev/null
sleep 1
probe command Quenvale 102 >/dev/null   # the Settings button: its window shows the status
probe wait QuenvaleSet 10000 >/dev/null
check "status names the missing runtime" test "$(probe text QuenvaleSet 301)" = "text=$MISSING"
check "nothing reached a runtime" test ! -e "$log3"
probe close Quenvale >/dev/null
for i in $(seq 1 100); do [ "$(probe count Quenvale)" = "count=0" ] && break; sleep 0.1; done

# --- 4. a higher system DPI: the header and the bounds below it scale ----------------------
DESKTOP='HKCU\Control Panel\Desktop'
saved_dpi=$(wine reg query "$DESKTOP" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/LogPixels/ { print $3 }')
restore_dpi() {
    if [ -n "$saved_dpi" ]; then wine reg add "$DESKTOP" /v LogPixels /t REG_DWORD /d "$((saved_dpi))" /f >/dev/null 2>&1
    else wine reg delete "$DESKTOP" /v LogPixels /f >/dev/null 2>&1; fi
}
trap 'restore_dpi; wine reg delete "$KEY" /v EBWebView /f >/dev/null 2>&1; rm -rf "$work"' EXIT
wine reg add "$DESKTOP" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wine reg add "$KEY" /v EBWebView /t REG_SZ /d "$(winpath "$BIN")\\webview2-runtime\\Application\\131.0.0.0" /f >/dev/null 2>&1
mkdir -p "$work/local4"
log4="$work/fake4.log"
printf '{"op":"hello"}\n!await "op":"look"\n!resize 1000 1100\n!wait 400\n' > "$work/script4.txt"
export QUENVALE_FAKE_WEBVIEW_LOG=$(winpath "$log4") QUENVALE_FAKE_WEBVIEW_SCRIPT=$(winpath "$work/script4.txt")
run_room "$work/local4" "$BIN/Quenvale.exe" "$log4"
restore_dpi
echo "--- stand-in log (144 DPI)"; cat "$log4" 2>/dev/null; echo "---"
read -r _ _ w4 h4 d4 < <(grep '^script client' "$log4" | sed -n 1p)
want4="0 $(header_height "${h4:-0}" 144) ${w4:-0} ${h4:-0}"
got4=$(bounds_after "$log4" "script resize")
check "window DPI is the system's 144" test "${d4:-0}" = 144
check "bounds at 144 DPI: $got4 (want $want4)" test "$got4" = "$want4"

echo "webview: $failures failed"
[ "$failures" -eq 0 ]
