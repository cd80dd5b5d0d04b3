#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite:
#   1. libFuzzer targets (clang), each for a bounded time;
#   2. the threaded tests under ThreadSanitizer;
#   3. the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer;
#   4. the whole suite in a normal build with warnings as errors;
# then the product's and the tests' line counts (scripts/loc.sh) end the run.
# Options: --quick runs step 4 only. FUZZ_SECONDS (default 30) bounds each fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

quick=0
for arg in "$@"; do
    case "$arg" in
        --quick) quick=1 ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        *) echo "test.sh: unknown option $arg" >&2; exit 2 ;;
    esac
done

scripts/setup.sh

JOBS=$(nproc)
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
export CTEST_OUTPUT_ON_FAILURE=1

configure() {  # dir, cmake args...
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DNORVANE_WERROR=ON "$@" >"$dir.configure.log" 2>&1 \
        || { cat "$dir.configure.log"; return 1; }
}

if ((quick == 0)); then
    echo "== fuzz targets (clang, ${FUZZ_SECONDS}s each)"
    mkdir -p build-fuzz
    CC=clang CXX=clang++ configure build-fuzz -DNORVANE_FUZZ=ON -DNORVANE_GUI=OFF \
        -DNORVANE_TESTS=OFF -DNORVANE_BENCH=OFF
    cmake --build build-fuzz -j "$JOBS"
    for target in build-fuzz/fuzz/fuzz_*; do
        [[ -x $target ]] || continue
        name=$(basename "$target")
        corpus="build-fuzz/corpus-$name"
        mkdir -p "$corpus"
        seeds="fuzz/seeds/${name#fuzz_}"
        [[ -d $seeds ]] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
        echo "-- $name"
        "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" 2>&1 \
            | grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|INFO: Running|==[0-9]+==ERROR|SUMMARY)" || true
        test "${PIPESTATUS[0]}" -eq 0
    done

    echo "== ThreadSanitizer: threaded tests"
    mkdir -p build-tsan
    configure build-tsan -DNORVANE_SANITIZE=thread -DNORVANE_GUI=OFF -DNORVANE_BENCH=OFF
    cmake --build build-tsan -j "$JOBS"
    (cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest -L threaded -j "$JOBS" --no-tests=error)

    echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
    mkdir -p build-asan
    configure build-asan -DNORVANE_SANITIZE=address -DNORVANE_BENCH=OFF
    cmake --build build-asan -j "$JOBS"
    (cd build-asan && ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" ctest -j "$JOBS" --no-tests=error)
fi

echo "== normal build, warnings as errors: whole suite"
mkdir -p build
configure build
cmake --build build -j "$JOBS"
status=0
(cd build && ctest -j "$JOBS" --no-tests=error) || status=$?

scripts/loc.sh
exit "$status"
