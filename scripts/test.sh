#!/usr/bin/env bash
# Runs every test suite: C++ unit tests (plain and under ASan+UBSan), short fuzz runs, the
# threaded tests under TSan, the Debian package's tests, the devnet's tests, the room page's
# browser tests, the setup program's tests and
# the GUI tests of the desktop program and the wallet window. Exits non-zero when any of
# them fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "test: setup failed" >&2; exit 1; }

failed=()
run() {
  local name=$1; shift
  echo "== $name"
  if "$@"; then echo "== $name: passed"; else echo "== $name: FAILED"; failed+=("$name"); fi
}

# The sanitizer build lives beside the main one and skips the benchmarks.
sanitized_unit_tests() {
  if [ ! -f build-asan/build.ninja ]; then
    cmake -S . -B build-asan -G Ninja -DQUENVALE_WERROR=ON -DQUENVALE_SANITIZE=ON -DQUENVALE_BENCH=OFF \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null || return 1
  fi
  CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 ninja -C build-asan --quiet unit_tests wendrel || return 1
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ./build-asan/bin/unit_tests --gtest_brief=1
}

run "unit tests" ctest --test-dir build --output-on-failure -j2 --timeout 300
run "unit tests (ASan+UBSan)" sanitized_unit_tests
# Every reader of outside input under libFuzzer (clang, ASan+UBSan): a fixed number of runs
# over the checked-in corpus; scripts/fuzz.sh SECONDS runs them longer.
run "fuzz targets (short)" bash scripts/fuzz.sh --short
# The tests that start threads, under ThreadSanitizer.
run "threaded tests (TSan)" bash scripts/tsan.sh
run "package tests" bash tests/package/package_test.sh
if [ -d tests/devnet ]; then
  run "devnet tests" node --test tests/devnet/
fi
if [ -f web/package.json ]; then
  run "room page tests" npm --prefix web test --silent
fi

# The core and the Windows platform layer cross-built for Windows, under Wine. Opt-in
# for now: on a machine without the dependency cache the cross-build of OpenSSL and
# libcurl alone takes about 20 minutes on two cores.
if [ "${QUENVALE_WINDOWS_TESTS:-0}" = 1 ]; then
  run "windows unit tests (Wine)" bash scripts/win/test.sh
fi

# The real program under Xvfb, driven by WebKitWebDriver against a devnet.
if [ -x build/bin/gui_chrome_tests ]; then
  run "gui chrome tests" xvfb-run -a -s '-screen 0 1280x800x24' build/bin/gui_chrome_tests --gtest_brief=1
fi
# The setup program: silent runs of the real executable and its window under Xvfb.
run "setup tests" xvfb-run -a -s '-screen 0 1280x800x24' node --test --test-concurrency=1 tests/setup/
if [ -x build/bin/wendrel ]; then
  run "wallet window tests" xvfb-run -a -s '-screen 0 1280x800x24' node --test --test-concurrency=1 tests/wendrel_window/
fi
if [ -d tests/gui ] && [ -x build/bin/quenvale ]; then
  run "gui tests" xvfb-run -a -s '-screen 0 1280x800x24' \
    node --test --test-concurrency=1 tests/gui/
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "test: FAILED: ${failed[*]}"
  exit 1
fi
echo "test: all suites passed"
