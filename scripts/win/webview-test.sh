#!/usr/bin/env bash
# The web view host end to end: builds Quenvale.exe, the window probe and the stand-in
# WebView2 runtime in build-win/ (configured by scripts/win/test.sh), then runs
# tests/win/gui/webview_room.sh under Wine inside Xvfb. The build takes the shared lock.
set -euo pipefail
cd "$(dirname "$0")/../.."
LOCK=/tmp/quenvale-build.lock
B=build-win
[ -f "$B/build.ninja" ] || { echo "webview: configure $B first (scripts/win/test.sh does)"; exit 1; }
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 flock "$LOCK" ninja -C "$B" --quiet quenvale_win win_probe webview2_fake win_dlls

export WINEPREFIX=$PWD/$B/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/.quenvale-ready" ]; then
  bash scripts/win/wine-prefix.sh >"$B/wineprefix.log" 2>&1 || { tail -20 "$B/wineprefix.log"; exit 1; }
fi
# A screen larger than the resized window, so that nothing clips it.
BIN=$PWD/$B/bin timeout 300 xvfb-run -a -s '-screen 0 1600x1600x24' bash -c '
  wineserver -k 2>/dev/null || true
  bash tests/win/gui/webview_room.sh; e=$?
  wineserver -k 2>/dev/null || true
  exit $e'
