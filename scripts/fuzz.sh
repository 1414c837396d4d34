#!/bin/sh
# Builds the libFuzzer targets in build-fuzz and runs each for SECONDS
# (default 60), at most FUZZ_JOBS (default 4) at once, one core each.
# Exits 1 when any target reports a finding; the input that triggered it is
# kept under build-fuzz/fuzz-findings/, never in the source tree.
#
#   sh scripts/fuzz.sh [SECONDS] [TARGET...]
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_elf fuzz_a2l_parse fuzz_a2l_scan fuzz_generate fuzz_update"}
jobs=${FUZZ_JOBS:-4}
build=${FUZZ_BUILD:-$root/build-fuzz}

case $seconds in
    '' | *[!0-9]*)
        echo "usage: sh scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
        exit 2
        ;;
esac

echo "== fuzz: building in $build"
if ! CC=${FUZZ_CC:-clang} CXX=${FUZZ_CXX:-clang++} cmake -S "$root" -B "$build" -DVK_FUZZ=ON -DVK_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1; then
    cat "$build.configure.log" >&2
    exit 1
fi
rm -f "$build.configure.log"
# shellcheck disable=SC2086
if ! cmake --build "$build" -j "${FUZZ_BUILD_JOBS:-4}" --target $targets >/dev/null; then
    echo "fuzz: build failed" >&2
    exit 1
fi

fixtures=$build/fixtures
findings=$build/fuzz-findings
logs=$build/fuzz-logs
mkdir -p "$findings" "$logs"

# Prints the fuzzer's options and seed directories for one target. The first
# directory is the working corpus that grows between runs; the others are
# only read.
arguments() {
    name=$1
    corpus=$build/fuzz-corpus/$name
    committed=$root/tests/fuzz/corpus
    mkdir -p "$corpus"
    case $name in
        fuzz_elf)
            seeds=$build/fuzz-seeds/elf
            mkdir -p "$seeds"
            cp "$fixtures"/*.elf "$seeds"/ 2>/dev/null
            echo "-max_len=32768 $corpus $committed/fuzz_elf $seeds"
            ;;
        fuzz_generate)
            echo "-max_len=4096 -dict=$root/tests/fuzz/json.dict $corpus $committed/fuzz_generate"
            ;;
        *)
            echo "-max_len=16384 -dict=$root/tests/fuzz/a2l.dict $corpus $committed/$name" \
                "$committed/fuzz_a2l_parse $committed/fuzz_update $root/tests/a2l/data"
            ;;
    esac
}

run() {
    name=$1
    log=$logs/$name.log
    rm -f "$logs/$name.status"
    # shellcheck disable=SC2046
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$build/tests/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$findings/$name-" $(arguments "$name") >"$log" 2>&1
    echo $? >"$logs/$name.status"
}

summary() {
    name=$1
    status=$(cat "$logs/$name.status" 2>/dev/null || echo 1)
    log=$logs/$name.log
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    if [ "$status" = 0 ]; then
        echo "ok     $name: ${executions:-?} executions in ${seconds}s, ${coverage:-cov: ?}"
        return 0
    fi
    echo "FAILED $name (status $status): ${executions:-?} executions; log $log" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY:|.*runtime error:|artifact_prefix|Test unit written|.*(timeout|out-of-memory|leak))' \
        "$log" | head -n 20 >&2
    return 1
}

echo "== fuzz: $seconds s per target, $jobs at once"
running=0
for name in $targets; do
    run "$name" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait

failed=0
for name in $targets; do
    summary "$name" || failed=1
done
if [ "$failed" != 0 ]; then
    echo "fuzz: findings kept in $findings" >&2
    exit 1
fi
echo "fuzz: no findings"
