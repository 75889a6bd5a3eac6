#!/usr/bin/env bash
# Builds Quenvale.exe and win_probe.exe in build-win/ and runs tests/win/gui/shell_test.sh
# under Wine inside Xvfb. The dependencies, the configured tree and the Wine prefix are
# those of scripts/win/test.sh (run it once first, or let this script make them the same
# way). Heavy steps take the shared build lock.
set -euo pipefail
cd "$(dirname "$0")/../.."
LOCK=/tmp/quenvale-build.lock
B=build-win

deps=$(flock "$LOCK" bash scripts/win/deps.sh | tail -1)
[ -f "$deps/.complete" ] || { echo "gui: dependency build failed"; exit 1; }
if [ ! -f "$B/build.ninja" ] || [ "$(cat "$B/deps-prefix" 2>/dev/null)" != "$deps" ]; then
  rm -f "$B/CMakeCache.txt"
  cmake -S . -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw64-posix.cmake" \
    -DQUENVALE_WIN_DEPS="$deps" -DQUENVALE_WERROR=ON -DQUENVALE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
  echo "$deps" > "$B/deps-prefix"
fi
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 flock "$LOCK" ninja -C "$B" --quiet quenvale_win win_probe

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
  wineserver -k 2>/dev/null || true
  exit $e'
