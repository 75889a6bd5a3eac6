#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, ASan + UBSan) in build-fuzz/ and runs
# them.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   each target SECONDS (default 60) on a working
#                                           corpus in ${XDG_CACHE_HOME:-~/.cache}/quenvale-fuzz/
#   scripts/fuzz.sh --keep [SECONDS] [...]  the same, then merges new interesting inputs into
#                                           tests/fuzz/corpus/<target>/
#   scripts/fuzz.sh --short [TARGET...]     a fixed number of runs over the checked-in corpus
#                                           only; what the test command runs
# TARGET is a name such as parse_tx (the file tests/fuzz/parse_tx_fuzz.cpp). Exits non-zero
# when any target reports a crash, a leak, undefined behaviour or a broken invariant.
set -uo pipefail
cd "$(dirname "$0")/.."

# Runs per target in the short mode: with the slowest targets (the wallet document loader
# derives keys per input) all of them together stay well under three minutes on a busy
# two-core machine.
SHORT_RUNS=600

mode=long
seconds=60
targets=()
for arg in "$@"; do
  case "$arg" in
    --short) mode=short ;;
    --keep) mode=keep ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *[!0-9]*) targets+=("$arg") ;;
    *) seconds=$arg ;;
  esac
done

BUILD=build-fuzz
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DQUENVALE_FUZZ=ON -DQUENVALE_BENCH=OFF -DQUENVALE_WERROR=ON \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null ||
    { echo "fuzz: configuring $BUILD failed" >&2; exit 1; }
fi
# The build machine is shared: every build goes through the one lock, taken only when
# there is something to build.
if ! ninja -C "$BUILD" -n 2>/dev/null | grep -q "no work to do"; then
  flock /tmp/quenvale-build.lock ninja -C "$BUILD" --quiet || { echo "fuzz: build failed" >&2; exit 1; }
fi

if [ ${#targets[@]} -eq 0 ]; then
  for src in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$src" _fuzz.cpp)
    targets+=("$name")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cache=${XDG_CACHE_HOME:-$HOME/.cache}/quenvale-fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=()
report=()
for name in "${targets[@]}"; do
  bin=$BUILD/bin/${name}_fuzz
  seeds=tests/fuzz/corpus/$name
  if [ ! -x "$bin" ]; then
    echo "fuzz: no target $name" >&2
    failed+=("$name")
    continue
  fi
  mkdir -p "$seeds"
  log=$scratch/$name.log
  if [ "$mode" = short ]; then
    # New inputs go to a scratch folder, so the checked-in corpus is only read.
    mkdir -p "$scratch/$name"
    nice -n 10 "$bin" -runs=$SHORT_RUNS -print_final_stats=1 -error_exitcode=77 -timeout=30 \
      -artifact_prefix="$scratch/$name-" "$scratch/$name" "$seeds" >"$log" 2>&1
  else
    work=$cache/$name
    mkdir -p "$work/artifacts"
    nice -n 10 "$bin" -max_total_time="$seconds" -print_final_stats=1 -error_exitcode=77 -timeout=30 \
      -artifact_prefix="$work/artifacts/" "$work" "$seeds" >"$log" 2>&1
  fi
  status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $status -ne 0 ]; then
    echo "fuzz: $name failed (exit $status); its report:" >&2
    grep -v '^#[0-9]' "$log" | tail -n 60 >&2
    [ "$mode" = short ] || echo "fuzz: the input is kept in $cache/$name/artifacts/" >&2
    failed+=("$name")
  elif [ "$mode" = keep ]; then
    nice -n 10 "$bin" -merge=1 "$seeds" "$cache/$name" >"$scratch/$name.merge.log" 2>&1 ||
      { echo "fuzz: merging $name into $seeds failed" >&2; failed+=("$name"); }
  fi
  report+=("$(printf '%-18s %12s' "$name" "${execs:-?}")")
done

echo "target             executions"
printf '%s\n' "${report[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
