#!/usr/bin/env bash
# Installs what the project needs (Debian packages, npm packages) and builds it into
# build/. Idempotent and quiet: a second run only rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

APT_PACKAGES=(
  cmake ninja-build g++ clang pkg-config ccache
  libssl-dev libcurl4-openssl-dev nlohmann-json3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libx11-dev
  chromium xvfb xauth dbus webkit2gtk-driver x11-utils
  xdotool lintian desktop-file-utils dpkg-dev fakeroot
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
)

missing=()
for p in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "setup: node and npm are needed (Node 20)" >&2
  exit 1
fi

# npm packages: reinstalled only when the lock file changed since the last install.
npm_install() {
  local dir=$1
  [ -f "$dir/package-lock.json" ] || return 0
  local stamp="$dir/node_modules/.installed-lock"
  if [ ! -f "$stamp" ] || ! cmp -s "$dir/package-lock.json" "$stamp"; then
    echo "setup: npm ci in $dir"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    cp "$dir/package-lock.json" "$stamp"
  fi
}
npm_install tools/devnet
npm_install web

# Compiled objects are cached outside the clone (ccache's own folder), so a fresh clone
# on the same machine rebuilds from the cache.
CMAKE_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

BUILD=${QUENVALE_BUILD_DIR:-build}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DQUENVALE_WERROR=ON "${CMAKE_LAUNCHER[@]}" >/dev/null
fi
# The build's own status decides (a filter's status, or "|| true", must not hide a failure).
set +e
ninja -C "$BUILD" --quiet 2>&1 | grep -v '^ninja: no work to do'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "setup: the build failed" >&2
  exit "$status"
fi

if [ -f web/package.json ]; then
  (cd web && npm run --silent build >/dev/null)
fi
