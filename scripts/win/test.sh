#!/usr/bin/env bash
# Builds the Windows programs and tests (scripts/win/build.sh) in build-win/ and runs the
# unit tests under Wine inside Xvfb. Extra arguments go to unit_tests.exe (e.g.
# --gtest_filter=Win32*).
set -euo pipefail
cd "$(dirname "$0")/../.."
B=build-win
say() { echo "win: $*"; }
t0=$SECONDS

bash scripts/win/build.sh
t_build=$((SECONDS - t0))

export WINEPREFIX=$PWD/$B/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
t2=$SECONDS
if [ ! -f "$WINEPREFIX/.quenvale-ready" ]; then
  bash scripts/win/wine-prefix.sh >"$B/wineprefix.log" 2>&1 || { tail -20 "$B/wineprefix.log"; say "wine prefix failed"; exit 1; }
fi
t_prefix=$((SECONDS - t2))

# One Xvfb session holds the wineserver for the whole run (a wineserver started without
# a display gives windows no driver).
t3=$SECONDS
rc=0
timeout 900 xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
  wineserver -k 2>/dev/null || true
  wine "$0" --gtest_brief=1 "$@"; e=$?
  wineserver -k 2>/dev/null || true
  exit $e' "$B/bin/unit_tests.exe" "$@" || rc=$?
say "build ${t_build} s (dependencies included), prefix ${t_prefix} s, wine run $((SECONDS - t3)) s"
exit $rc
