#!/bin/sh
# Runs the Windows build under wine (what `make windows-test` calls): each
# GoogleTest program once, on the Linux build's fixtures, and then the demo's
# three steps (list, generate, update), whose output must be the Linux
# build's bytes, with CR LF line ends on standard output and standard error.
#   sh scripts/windows-test.sh LINUX_BUILD WINDOWS_BUILD
set -eu
[ $# -eq 2 ] || {
    echo "usage: sh scripts/windows-test.sh LINUX_BUILD WINDOWS_BUILD" >&2
    exit 2
}
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)

# A wine prefix of this build's own; no dialogs for the .NET and HTML
# runtimes, which nothing here uses; one wine server for every run.
export WINEPREFIX="$windows/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== wine prefix $WINEPREFIX"
    # Without 32-bit wine its 32-bit part fails, which nothing here needs.
    wine wineboot --init 2>/dev/null || true
fi
# Kept running between the runs (it may already run, started by wineboot).
wineserver -p 2>/dev/null || true
trap 'wineserver -k 2>/dev/null || true' EXIT

# readelf does not run under wine: its output for every fixture is saved
# where the test programs look for it (tests/readelf_output.h).
readelf_dir="$windows/readelf"
rm -rf "$readelf_dir"
mkdir -p "$readelf_dir"
echo "== readelf output of $(ls "$linux"/fixtures/*.elf "$linux"/fixtures/generated/*.elf | wc -l) fixtures"
# shellcheck disable=SC2016
ls "$linux"/fixtures/*.elf "$linux"/fixtures/generated/*.elf | xargs -P "$(nproc)" -n 16 sh -c '
    for elf; do
        name=$(basename "$elf")
        readelf -h "$elf" >"$0/$name-h"
        readelf -sW "$elf" >"$0/$name-sW"
    done' "$readelf_dir"

failed=0
for program in foundation_tests elf_tests a2l_tests tool_tests; do
    echo "== $program.exe"
    if ! (cd "$windows" && wine "tests/$program.exe" --gtest_brief=1); then
        echo "FAILED $program.exe" >&2
        failed=1
    fi
done

# The demo's steps in two folders with the same inputs, run with the same
# relative names so that every message reads the same.
echo "== the demo's steps, Linux and Windows"
sh "$root/examples/demo.sh" "$linux" >"$windows/demo-linux.log" 2>&1
compare="$windows/demo-compare"
rm -rf "$compare"
for side in linux windows; do
    mkdir -p "$compare/$side"
    cp "$linux/examples/engine_controller.elf" "$linux/examples/engine_controller_rebuilt.elf" \
        "$root/examples/engine_controller.json" "$compare/$side/"
done
steps() {
    "$@" -l engine_controller.elf >list.out 2>list.err &&
        "$@" engine_controller.elf -v engine_controller.json -o engine_controller.a2l >generate.out 2>generate.err &&
        "$@" engine_controller_rebuilt.elf -u engine_controller.a2l -o engine_controller_updated.a2l \
            >update.out 2>update.err
}
(cd "$compare/linux" && steps "$linux/vk-quillet") || failed=1
(cd "$compare/windows" && steps wine "$windows/vk-quillet.exe") || failed=1
for file in engine_controller.a2l engine_controller_updated.a2l; do
    cmp "$compare/linux/$file" "$compare/windows/$file" || failed=1
done
for file in list.out list.err generate.out generate.err update.out update.err; do
    sed 's/$/\r/' "$compare/linux/$file" >"$compare/linux/$file.crlf"
    cmp "$compare/linux/$file.crlf" "$compare/windows/$file" || failed=1
done
echo "$(wc -l <"$compare/linux/list.out") list lines, $(wc -c <"$compare/linux/engine_controller.a2l") and" \
    "$(wc -c <"$compare/linux/engine_controller_updated.a2l") bytes of A2L compared"

if [ "$failed" != 0 ]; then
    echo "windows-test: FAILED" >&2
    exit 1
fi
echo "windows-test: passed"
