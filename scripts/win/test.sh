#!/usr/bin/env bash
# Builds the Windows unit tests (dependencies from the cache of scripts/win/deps.sh) in
# build-win/ and runs them under Wine inside Xvfb. Extra arguments go to unit_tests.exe
# (e.g. --gtest_filter=Win32*). Heavy steps take the shared build lock.
set -euo pipefail
cd "$(dirname "$0")/../.."
LOCK=/tmp/quenvale-build.lock
say() { echo "win: $*"; }
t0=$SECONDS

deps=$(flock "$LOCK" bash scripts/win/deps.sh | tail -1)
[ -f "$deps/.complete" ] || { say "dependency build failed"; exit 1; }
t_deps=$((SECONDS - t0))

B=build-win
# Written after a successful configure: the dependency prefix the tree was made for.
if [ ! -f "$B/build.ninja" ] || [ "$(cat "$B/deps-prefix" 2>/dev/null)" != "$deps" ]; then
  # A new dependency prefix invalidates every cached find result: configure afresh.
  rm -f "$B/CMakeCache.txt"
  cmake -S . -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw64-posix.cmake" \
    -DQUENVALE_WIN_DEPS="$deps" -DQUENVALE_WERROR=ON -DQUENVALE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
  echo "$deps" > "$B/deps-prefix"
fi
t1=$SECONDS
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 flock "$LOCK" ninja -C "$B" --quiet
t_build=$((SECONDS - t1))

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
say "deps ${t_deps} s, build ${t_build} s, prefix ${t_prefix} s, wine run $((SECONDS - t3)) s"
exit $rc
