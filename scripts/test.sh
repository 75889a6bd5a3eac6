#!/usr/bin/env bash
# Runs every test suite: C++ unit tests (plain and under ASan+UBSan), short fuzz runs, the
# threaded tests under TSan, the Debian package's tests, the devnet's tests, the room page's
# browser tests, the setup program's tests, the GUI tests of the desktop program and the
# wallet window, and the Windows build's tests under Wine. Exits non-zero when any of them
# fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "test: setup failed" >&2; exit 1; }

# The Windows programs are cross-built in the background at low priority while the Linux
# suites run: on a new machine the dependencies from source and the cross-build take about
# twenty minutes of both cores, most of which the Linux suites leave idle (browsers, the
# devnet, time-outs). It takes a lock of its own, as the Linux builds below take the
# shared one. QUENVALE_WINDOWS_TESTS=0 leaves the Windows build and tests out.
windows=${QUENVALE_WINDOWS_TESTS:-1}
if [ "$windows" = 1 ]; then
  windows_log=build/windows-build.log
  QUENVALE_BUILD_LOCK=/tmp/quenvale-windows-build.lock nice -n 10 bash scripts/win/build.sh >"$windows_log" 2>&1 &
  windows_build=$!
fi

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

# The Windows build, under Wine inside Xvfb: the unit tests, Quenvale.exe (window, header,
# side windows, the web view host through a stand-in runtime) and QuenvaleSetup.exe.
windows_build_done() {
  wait "$windows_build" && return 0
  tail -n 40 "$windows_log"
  return 1
}
if [ "$windows" = 1 ]; then
  run "windows build" windows_build_done
  run "windows unit tests (Wine)" bash scripts/win/test.sh
  run "windows program tests (Wine)" bash scripts/win/gui-test.sh
  run "windows setup tests (Wine)" bash scripts/win/setup-test.sh
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "test: FAILED: ${failed[*]}"
  exit 1
fi
echo "test: all suites passed"
