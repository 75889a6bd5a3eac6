#!/usr/bin/env bash
# Quenvale.exe under Wine, seen from outside through win_probe.exe: the main window and
# its header, the Settings window's status without a WebView2 runtime, the Camera
# window's choices and look.json, window.json on start and close, the placement read
# back, a second start, and a start while the first copy is ending. Run by
# scripts/win/gui-test.sh inside Xvfb (1280x1024) with WINEPREFIX set; each case gets its
# own LOCALAPPDATA and ends with no Quenvale running.
set -uo pipefail
BIN=${BIN:?BIN must name build-win/bin}
WORK=$(mktemp -d /tmp/quenvale-gui.XXXXXX)
trap 'wineserver -k 2>/dev/null; rm -rf "$WORK"' EXIT
EXE=$(winepath -w "$BIN/Quenvale.exe")
WEBVIEW2_MISSING="WebView2 runtime is missing. Install it, then open Quenvale again."

passed=0
failed=0
case_name=""
case_failed=0
LAD=""    # the case's LOCALAPPDATA (Unix path)
DATA=""   # its data folder

probe() { wine "$BIN/win_probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
fail() {
    echo "  FAIL [$case_name] $*"
    case_failed=1
}
expect_eq() {  # what, got, wanted
    [ "$2" == "$3" ] || fail "$1: got '$2', wanted '$3'"
}

begin() {
    case_name=$1
    case_failed=0
    LAD="$WORK/$case_name"
    DATA="$LAD/Orvane/quenvale"
    mkdir -p "$DATA"
}
end() {
    # No copy may outlive its case: the next one must be a first start.
    if [ "$(probe count Quenvale)" != "count=0" ]; then
        probe close-wait Quenvale 15000 >/dev/null
        wineserver -k 2>/dev/null
    fi
    if [ $case_failed -eq 0 ]; then
        passed=$((passed + 1))
        echo "  ok   $case_name"
    else
        failed=$((failed + 1))
    fi
}
# Starts Quenvale.exe with the case's LOCALAPPDATA (started from win_probe, whose
# standard handles are not a pipe of ours) and waits for its main window.
start_quenvale() {
    wine "$BIN/win_probe.exe" start "$(winepath -w "$LAD")" "$EXE" </dev/null >"$WORK/start.out" 2>&1
    MAIN=$(probe wait Quenvale 30000)
    [ -n "$(field class "$MAIN")" ] || { fail "no main window (${MAIN:-nothing})"; return 1; }
}
# Waits until the case's file holds exactly the wanted text (written asynchronously).
expect_file() {
    local path=$1 wanted=$2 got=""
    for _ in $(seq 50); do
        got=$(cat "$path" 2>/dev/null)
        [ "$got" == "$wanted" ] && return 0
        sleep 0.1
    done
    fail "$(basename "$path"): got '${got:-<none>}', wanted '$wanted'"
}
# Waits until CLASS has the wanted number of visible windows (Wine hides a destroyed
# owned window a moment after its owner goes).
expect_count() {
    local got=""
    for _ in $(seq 25); do
        got=$(probe count "$1")
        [ "$got" == "count=$2" ] && return 0
        sleep 0.2
    done
    fail "$1 windows: got '$got', wanted $2"
}
bright_pixels() {  # window class, #id: pixels in the chosen/hovered border colour
    field matching "$(probe pixels "$1" "$2" 212 175 55)"
}

# --- main window, header and start-up placement -----------------------------------
begin first_start
if start_quenvale; then
    expect_eq "class" "$(field class "$MAIN")" "Quenvale"
    expect_eq "title" "$(field title "$MAIN")" "Quenvale"
    expect_eq "maximised" "$(field maximised "$MAIN")" "0"
    # Icon 1, wrapped from the 128 x 128 logo.png at build time, loads as an icon.
    expect_eq "program icon" "$(probe icon "$EXE" 1)" "icon=128x128"
    # No window.json: 61 % x 64 % of the 1280 x 1024 work area, centred, and written so.
    expect_eq "window rectangle" "$(field rect "$MAIN")" "250,184,1030,839"
    expect_file "$DATA/window.json" '{"left":250,"top":184,"right":1030,"bottom":839,"max":false}'
    # The header bar: 142 pixels high for this client height, painted (background,
    # banner, logo, compass, bell, texts), not one flat colour and not blank.
    header=$(probe pixels Quenvale QuenvaleBar 198 193 187)
    expect_eq "header height" "$(field height "$header")" "142"
    total=$(field total "$header")
    matching=$(field matching "$header")
    colours=$(field colours "$header")
    if [ -z "$total" ] || [ "$total" -eq 0 ]; then
        fail "header not sampled (${header:-nothing})"
    else
        [ $((matching * 100 / total)) -ge 40 ] || fail "header background covers only $matching of $total pixels"
        [ $((matching * 100 / total)) -le 95 ] || fail "header is nearly flat: $matching of $total pixels are background"
        [ "$colours" -ge 200 ] || fail "header has only $colours colours"
    fi
    # The buttons on it: Connect and Close in their normal (not chosen) border.
    [ "$(field matching "$(probe pixels Quenvale '#101' 168 132 48)")" -gt 0 ] 2>/dev/null ||
        fail "Connect button not drawn with its border"
fi
end

# --- the bell opens and closes the notes popup under it ----------------------------
begin notes_popup
if start_quenvale; then
    expect_eq "client" "$(field client "$MAIN")" "772x628"
    origin=$(field origin "$MAIN")
    ox=${origin%,*}
    oy=${origin#*,}
    # A 772 x 628 client at 96 DPI puts the bell at 658,6 - 704,52 of the header bar.
    probe click Quenvale QuenvaleBar 681 29 >/dev/null
    popup=$(probe wait QuenvaleNotes 10000)
    # 320 wide, 40 + 12 + one empty row of 34 high, right edges lined up, 6 below the bell.
    expect_eq "popup rectangle" "$(field rect "$popup")" \
        "$((ox + 704 - 320)),$((oy + 52 + 6)),$((ox + 704)),$((oy + 52 + 6 + 86))"
    # Outside the bell nothing happens; on it again the popup hides.
    probe click Quenvale QuenvaleBar 600 29 >/dev/null
    expect_count QuenvaleNotes 1
    probe click Quenvale QuenvaleBar 681 29 >/dev/null
    expect_count QuenvaleNotes 0
fi
end

# --- Settings: the status line without a WebView2 runtime --------------------------
begin settings_status
if start_quenvale; then
    probe command Quenvale 102 >/dev/null
    settings=$(probe wait QuenvaleSet 10000)
    expect_eq "settings title" "$(field title "$settings")" "Settings"
    # The runtime is looked for after the window is up: the line may still be empty.
    status=""
    for _ in $(seq 50); do
        status=$(probe text QuenvaleSet 301)
        [ "$status" == "text=$WEBVIEW2_MISSING" ] && break
        sleep 0.1
    done
    expect_eq "status line" "$status" "text=$WEBVIEW2_MISSING"
    # The Settings button again brings the same window forward, no second one.
    probe command Quenvale 102 >/dev/null
    sleep 0.5
    expect_count QuenvaleSet 1
    # Closing Settings closes the Camera window it opened.
    probe command QuenvaleSet 208 >/dev/null
    expect_eq "camera opened" "$(field class "$(probe wait QuenvaleCam 10000)")" "QuenvaleCam"
    probe command QuenvaleSet 203 >/dev/null
    expect_count QuenvaleSet 0
    expect_count QuenvaleCam 0
fi
end

# --- Camera: chosen buttons follow look.json, choices are written ------------------
begin camera_look
printf '{"quick":true,"fps":90}\n' >"$DATA/look.json"
if start_quenvale; then
    probe command Quenvale 102 >/dev/null
    probe wait QuenvaleSet 10000 >/dev/null
    probe command QuenvaleSet 208 >/dev/null
    probe wait QuenvaleCam 10000 >/dev/null
    sleep 0.5
    [ "$(bright_pixels QuenvaleCam '#202')" -gt 0 ] 2>/dev/null || fail "Quick not drawn as chosen"
    [ "$(bright_pixels QuenvaleCam '#206')" -gt 0 ] 2>/dev/null || fail "90 not drawn as chosen"
    expect_eq "Steady bright pixels" "$(bright_pixels QuenvaleCam '#201')" "0"
    expect_eq "60 bright pixels" "$(bright_pixels QuenvaleCam '#205')" "0"
    probe command QuenvaleCam 201 >/dev/null
    expect_file "$DATA/look.json" '{"quick":false,"fps":90}'
    probe command QuenvaleCam 204 >/dev/null
    expect_file "$DATA/look.json" '{"quick":false,"fps":30}'
    sleep 0.5
    [ "$(bright_pixels QuenvaleCam '#201')" -gt 0 ] 2>/dev/null || fail "Steady not drawn as chosen after pressing it"
    expect_eq "Quick bright pixels after Steady" "$(bright_pixels QuenvaleCam '#202')" "0"
    expect_eq "90 bright pixels after 30" "$(bright_pixels QuenvaleCam '#206')" "0"
fi
end

# --- a second start raises the first and leaves ------------------------------------
begin second_start
if start_quenvale; then
    second=$(wine "$BIN/win_probe.exe" run "$(winepath -w "$LAD")" "$EXE" 30000 </dev/null 2>/dev/null | tr -d '\r')
    expect_eq "second start" "$second" "exit=0"
    sleep 0.5
    expect_count Quenvale 1
fi
end

# --- a start while the first copy is ending waits for it, then runs ---------------------
begin start_after_ending_copy
# An ending copy owns the instance mutex with its window gone: a holder of the mutex
# stands in for it for a fixed time.
wine "$BIN/win_probe.exe" hold 'Local\Quenvale.SingleInstance' 4000 </dev/null >"$WORK/hold.out" 2>/dev/null &
holder=$!
for _ in $(seq 300); do grep -q held "$WORK/hold.out" 2>/dev/null && break; sleep 0.1; done
expect_eq "holder" "$(tr -d '\r' <"$WORK/hold.out")" "held"
wine "$BIN/win_probe.exe" start "$(winepath -w "$LAD")" "$EXE" </dev/null >"$WORK/start.out" 2>&1
sleep 1.5
expect_eq "no window while the mutex is held" "$(probe count Quenvale)" "count=0"
wait "$holder"
MAIN=$(probe wait Quenvale 30000)
expect_eq "the later start's window once the holder ended" "$(field class "$MAIN")" "Quenvale"
end

# --- close writes window.json; the next start opens there ---------------------------
begin placement_round_trip
printf '{"left":100,"top":80,"right":900,"bottom":700,"max":false}\n' >"$DATA/window.json"
if start_quenvale; then
    expect_eq "restored rectangle" "$(field rect "$MAIN")" "100,80,900,700"
    rm -f "$DATA/window.json"
    expect_eq "close" "$(probe close-wait Quenvale 20000)" "exit=0"
    expect_file "$DATA/window.json" '{"left":100,"top":80,"right":900,"bottom":700,"max":false}'
fi
end

begin maximised_start
printf '{"left":120,"top":90,"right":920,"bottom":710,"max":true}\n' >"$DATA/window.json"
if start_quenvale; then
    expect_eq "maximised" "$(field maximised "$MAIN")" "1"
    expect_eq "close" "$(probe close-wait Quenvale 20000)" "exit=0"
    # The normal rectangle is kept under the maximised flag.
    expect_file "$DATA/window.json" '{"left":120,"top":90,"right":920,"bottom":710,"max":true}'
fi
end

echo "gui: $passed passed, $failed failed"
[ $failed -eq 0 ]
