#!/bin/sh
# The performance benchmark: builds the tool when missing, generates and builds the
# firmware of each size and its A2L files (kept under BUILD_DIR/bench and reused),
# then times list, generate and update mode against their baselines.
#
# Usage: sh bench/run.sh SIZE BUILD_DIR
#   SIZE small | medium | large | all, or a comma list such as small,medium.
#   BENCH_REPS rounds per size (default 5, 3 for large), BENCH_DWARF 4 or 5
#   (default 5), BENCH_MODES a comma list of list,generate,update (default all
#   three, large without generate), BENCH_MEM_GB address-space limit of each
#   measured command (default 16), BENCH_JOBS parallel compile jobs (default:
#   the cores, at most 8).
# shellcheck disable=SC3013 # test -nt: dash and bash, the shells this runs in, have it
set -eu

if [ $# -ne 2 ]; then
    echo "usage: sh $0 SIZE BUILD_DIR   (SIZE: small, medium, large, all)" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$2
dwarf=${BENCH_DWARF:-5}
case $1 in
    all) sizes="small medium large" ;;
    *) sizes=$(echo "$1" | tr ',' ' ') ;;
esac
for size in $sizes; do
    case $size in small | medium | large) ;; *) echo "unknown size '$size'" >&2; exit 2 ;; esac
done
for tool in python3 clang ld.lld llvm-nm llvm-dwarfdump cmake; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run 'sh scripts/setup.sh'" >&2; exit 1; }
done

tool="$build/vk-quillet"
if [ ! -x "$tool" ]; then
    echo "bench: building the tool in $build" >&2
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" --target vk-quillet -j "${BENCH_JOBS:-4}" >/dev/null
fi

data="$build/bench"
mkdir -p "$data"
printf '{\n  "variables": [\n    { "name": "*" }\n  ]\n}\n' >"$data/variables-all.json"

list=""
for size in $sizes; do
    sh "$here/build_firmware.sh" "$size" "$data" "$dwarf"
    elf="$data/firmware-$size-dwarf$dwarf.elf"
    a2l="$data/a2l-$size-dwarf$dwarf.a2l"
    moved="$data/a2l-$size-dwarf$dwarf-moved.a2l"
    if [ ! -f "$moved" ] || [ ! "$moved" -nt "$elf" ] || [ ! "$moved" -nt "$here/gen_a2l.py" ]; then
        python3 "$here/gen_a2l.py" "$elf" "$data/fw_types.json" "$data/globals-$size.tsv" "$a2l" "$moved"
    fi
    list="$list${list:+,}$size"
done

python3 "$here/runner.py" --tool "$tool" --data "$data" --sizes "$list" --dwarf "$dwarf" \
    --reps "${BENCH_REPS:-0}" --modes "${BENCH_MODES:-}" --memory-limit-gb "${BENCH_MEM_GB:-16}"

python3 "$here/hostile.py" --tool "$tool" --data "$data" --reps "${BENCH_REPS:-3}"
