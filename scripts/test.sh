#!/usr/bin/env bash
# Sets up a Debian machine, builds everything (plug-in, tools, tests, benchmarks) and runs every
# test; then builds the tests again under AddressSanitizer + UndefinedBehaviorSanitizer and runs
# them, runs the thread-safety check under ThreadSanitizer and runs each fuzzer for a bounded time.
# Stage times are printed as they finish.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${ORVELUND_FUZZ_SECONDS:-60}
started=$SECONDS

stage() {
    echo
    echo "==== [$(date +%H:%M:%S), $(((SECONDS - started) / 60)) min in] $*"
}

stage "dependencies"
scripts/install-deps.sh

stage "plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVELUND_BUILD_TESTS=ON -DORVELUND_BUILD_BENCHMARKS=ON
cmake --build build -j"$jobs"

stage "tests"
(cd build && ctest --output-on-failure -j"$jobs")

# The sanitizer builds compile only what their checks need, against the plain build's bundles,
# asset archive and factory library. One clang build carries AddressSanitizer, UBSan and the
# fuzzers' coverage instrumentation, so the test suite and the fuzzers share its JUCE.
stage "AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVELUND_SANITIZE=address -DORVELUND_BUILD_FUZZERS=ON -DORVELUND_BUILD_BENCHMARKS=OFF \
    -DORVELUND_ARTEFACTS_FROM="$root/build"
cmake --build build-asan -j"$jobs" --target orvelund_tests orvelund_thread_safety \
    fuzz_state_chunk fuzz_preset_file fuzz_midi_bytes

stage "tests under AddressSanitizer + UndefinedBehaviorSanitizer"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
(cd build-asan && ctest --output-on-failure -j"$jobs")

stage "fuzzing, ${fuzz_seconds} s per target"
for target in state_chunk preset_file midi_bytes; do
    work=build-asan/fuzz-corpus/$target
    mkdir -p "$work"
    log=build-asan/fuzz-$target.log
    # New inputs go to the work folder; the seeds in the repository stay as they are.
    if ! build-asan/fuzz/fuzz_$target -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        -artifact_prefix=build-asan/fuzz-$target- "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$target failed; the input that failed is in build-asan/fuzz-$target-*"
        exit 1
    fi
    echo "fuzz_$target: $(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$') executions," \
        "$(find "$work" -type f | wc -l) corpus inputs"
done

stage "ThreadSanitizer build"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVELUND_SANITIZE=thread -DORVELUND_BUILD_BENCHMARKS=OFF -DORVELUND_ARTEFACTS_FROM="$root/build"
cmake --build build-tsan -j"$jobs" --target orvelund_thread_safety

stage "thread safety under ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/orvelund_thread_safety

stage "all stages passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
