#!/usr/bin/env bash
# Builds the tests that start threads under ThreadSanitizer (build-tsan/) and runs them.
# Exits non-zero on any report or failing test. Configuring and building are idempotent:
# a second run only rebuilds what changed.
set -uo pipefail
cd "$(dirname "$0")/.."

# The tests that run work on more than one thread: the walls fan-out and its single-flight
# caches, the coin refresh pool, the ordinals pool, the bridge's workers and flags, the
# picture store, concurrent file writes, the notes worker, the in-process test servers.
# HttpTest is left out: its multi-megabyte replies outrun its 2 s timeouts at TSan's
# speed, and the same servers' threads run in the suites below.
UNIT_FILTER='Walls.*:OwnOffers.*:PostedTxid.*:IdentityCaches.*:Offers.*:Pairs.*:Sale.*:SaleCoins.*:Place.*'
UNIT_FILTER+=':CoinRefresh.*:CoinFetch.*:Coins.*:RecordPosting.*'
UNIT_FILTER+=':Listing.*:Caches.*:Inbox.*:OrdinalsOwned.*:OrdinalsSnapshot.*'
UNIT_FILTER+=':Snapshot.*:Handlers.*:Admission.*:SpotPictures.*:Files.*:NotesWorker.*:QuenvaleCli.*'
UNIT_FILTER+=':TwoProcesses.*'
# Whole flows against the devnet: coin refresh, walls reads, the page bridge's workers.
INTEGRATION_FILTER='WallsOnDevnet.*:Payments.*:PageBridge.*:PlaceOnDevnet.*:Ordinals.*'

BUILD=build-tsan
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUENVALE_TSAN=ON -DQUENVALE_WERROR=ON \
    -DQUENVALE_BENCH=OFF -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null || exit 1
fi
# The other binaries are only what the tests start as child processes.
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 flock /tmp/quenvale-build.lock \
  ninja -C "$BUILD" --quiet unit_tests integration_tests wendrel quenvale-cli survival_writer || exit 1

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan/suppressions.txt"
failed=0
echo "== tsan: unit tests"
nice -n 10 "$BUILD/bin/unit_tests" --gtest_brief=1 --gtest_filter="$UNIT_FILTER" || failed=1
echo "== tsan: integration tests"
nice -n 10 "$BUILD/bin/integration_tests" --gtest_brief=1 --gtest_filter="$INTEGRATION_FILTER" || failed=1
if [ $failed -ne 0 ]; then echo "tsan: FAILED"; exit 1; fi
echo "tsan: no reports, all passed"
