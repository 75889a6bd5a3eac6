#!/usr/bin/env bash
# Builds Quenvale.exe, win_probe.exe and the stand-in WebView2 runtime in build-win/
# (scripts/win/build.sh) and runs tests/win/gui/shell_test.sh and webview_room.sh under
# Wine inside Xvfb, in the Wine prefix of scripts/win/test.sh (made here when missing).
set -euo pipefail
cd "$(dirname "$0")/../.."
B=build-win

bash scripts/win/build.sh quenvale_win win_probe webview2_fake win_dlls

export WINEPREFIX=$PWD/$B/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/.quenvale-ready" ]; then
  bash scripts/win/wine-prefix.sh >"$B/wineprefix.log" 2>&1 || { tail -20 "$B/wineprefix.log"; echo "gui: wine prefix failed"; exit 1; }
fi

# The screen size is part of the expectations (the centred start-up placement).
export BIN=$PWD/$B/bin
timeout 900 xvfb-run -a -s '-screen 0 1280x1024x24' bash -c '
  wineserver -k 2>/dev/null || true
  bash tests/win/gui/shell_test.sh; e=$?
  bash tests/win/gui/webview_room.sh || e=1
  wineserver -k 2>/dev/null || true
  exit $e'
