#!/usr/bin/env bash
# The Windows build: the dependencies (scripts/win/deps.sh, cached outside the clone), the
# tree build-win/ configured for them, then the given ninja targets (everything when none
# is given). Every heavy step takes the build lock, QUENVALE_BUILD_LOCK when set (the test
# command's background build takes its own), else the shared /tmp/quenvale-build.lock.
set -euo pipefail
cd "$(dirname "$0")/../.."
LOCK=${QUENVALE_BUILD_LOCK:-/tmp/quenvale-build.lock}
B=build-win

deps=$(flock "$LOCK" bash scripts/win/deps.sh | tail -1)
[ -f "$deps/.complete" ] || { echo "win: dependency build failed" >&2; exit 1; }
key=$deps
if [ ! -f "$B/build.ninja" ] || [ "$(cat "$B/configured-for" 2>/dev/null)" != "$key" ]; then
  # A new dependency prefix invalidates every cached find result: configure afresh.
  rm -f "$B/CMakeCache.txt"
  cmake -S . -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw64-posix.cmake" \
    -DQUENVALE_WIN_DEPS="$deps" -DQUENVALE_WERROR=ON -DQUENVALE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
  echo "$key" > "$B/configured-for"
fi
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 flock "$LOCK" ninja -C "$B" --quiet "$@"
