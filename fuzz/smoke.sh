#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) and
# runs each over its committed corpus and dictionary for a short while. FUZZ_SECONDS sets the time
# per target (default: one minute in all). A target that crashes, leaks, hits undefined
# behaviour or hangs on one input fails the run; its report is printed and the
# input is kept under $BUILD/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
targets=(reader rrule expand quotedPrintable recognition naturalDate guess delimited writers cli execLine
    propertyList vCard caldav)
SECONDS_PER=${FUZZ_SECONDS:-$((60 / ${#targets[@]}))}
cmake -S . -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTIDEWELL_FUZZ=ON -DTIDEWELL_TESTS=OFF -DTIDEWELL_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" >/dev/null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$BUILD/artifacts" "$BUILD/logs"
# Absolute: fuzz_cli works in a folder of its own while it runs the tool.
artifacts=$(realpath "$BUILD/artifacts")
passed=0
failed=()
for t in "${targets[@]}"; do
    work="$BUILD/corpus-$t"
    log="$BUILD/logs/$t.log"
    mkdir -p "$work"
    dict=()
    [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
    echo "fuzz_$t: ${SECONDS_PER}s"
    # Inputs up to 64 KiB; an input slower than ten seconds is a hang (slow inputs are for the long runs).
    if "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/$t-" -print_final_stats=0 "${dict[@]}" "$work" "fuzz/corpus/$t" \
        >"$log" 2>&1; then
        passed=$((passed + 1))
        tail -n 1 "$log"
    else
        failed+=("$t")
        echo "fuzz_$t FAILED; report (from $log):"
        grep -v -E '^(#[0-9]+|INFO:|MERGE|\s*$)' "$log" | tail -n 60
    fi
done
echo "fuzz smoke run: $passed passed, ${#failed[@]} failed${failed[*]:+ (${failed[*]})}"
[ "${#failed[@]}" -eq 0 ]
