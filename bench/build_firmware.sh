#!/bin/sh
# Generates the benchmark firmware of one size and builds it for armv7m:
# compiles the units in parallel and links them into OUTDIR/firmware-SIZE-dwarfN.elf.
# Work already done is kept: sources are rewritten only when they change, objects
# (shared by all sizes, one folder per DWARF version) only when older than their
# source, and a firmware newer than the generator is not touched at all.
#
# Usage: sh bench/build_firmware.sh SIZE OUTDIR [DWARF_VERSION]
#   SIZE small | medium | large; DWARF_VERSION 4 or 5 (default 5).
#   BENCH_JOBS sets the parallel compile jobs (default: the cores, at most 8).
# shellcheck disable=SC3013 # test -nt: dash and bash, the shells this runs in, have it
set -eu

if [ $# -lt 2 ]; then
    echo "usage: sh $0 SIZE OUTDIR [DWARF_VERSION]" >&2
    exit 2
fi
size=$1
out=$2
dwarf=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)

case $size in small | medium | large) ;; *) echo "unknown size '$size' (small, medium, large)" >&2; exit 2 ;; esac
case $dwarf in 2 | 3 | 4 | 5) ;; *) echo "unknown DWARF version '$dwarf'" >&2; exit 2 ;; esac
for tool in clang ld.lld python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run 'sh scripts/setup.sh'" >&2; exit 1; }
done

jobs=${BENCH_JOBS:-$(nproc 2>/dev/null || echo 4)}
[ "$jobs" -gt 8 ] && jobs=8

mkdir -p "$out"
elf="$out/firmware-$size-dwarf$dwarf.elf"
if [ -f "$elf" ] && [ "$elf" -nt "$here/gen_firmware.py" ] && [ "$elf" -nt "$here/build_firmware.sh" ]; then
    echo "firmware: $elf is up to date" >&2
    exit 0
fi

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

t0=$(now)
python3 "$here/gen_firmware.py" "$size" "$out"
t_gen=$(since "$t0")

src="$out/src"
obj="$out/obj-dwarf$dwarf"
mkdir -p "$obj"
cflags="--target=armv7m-none-eabi -g -gdwarf-$dwarf -O0 -ffreestanding -nostdlib"

# The layouts that gen_a2l.py relies on, proved against the compiler.
# shellcheck disable=SC2086
clang $cflags -fsyntax-only "$src/layout_check.c"

t1=$(now)
todo="$obj/todo-$size"
while read -r unit; do
    o="$obj/${unit%.c}.o"
    if [ ! "$o" -nt "$src/$unit" ] || [ ! "$o" -nt "$src/fw_types.h" ]; then
        echo "$unit"
    fi
done <"$out/units-$size.txt" >"$todo"
count=$(wc -l <"$todo")
# Exit status 255 stops xargs at the first unit that fails to compile.
# shellcheck disable=SC2016
xargs -P "$jobs" -n 8 sh -c '
    src=$1 obj=$2 flags=$3
    shift 3
    for unit; do
        o="$obj/${unit%.c}.o"
        clang $flags -c "$src/$unit" -o "$o.tmp" && mv "$o.tmp" "$o" || exit 255
    done' sh "$src" "$obj" "$cflags" <"$todo"
rm -f "$todo"
t_cc=$(since "$t1")

t2=$(now)
sed "s|^\(.*\)\.c\$|$obj/\1.o|" "$out/units-$size.txt" >"$obj/link-$size.rsp"
ld.lld -e _start -static -o "$elf.tmp" "@$obj/link-$size.rsp"
mv "$elf.tmp" "$elf"
t_ld=$(since "$t2")

echo "firmware: $elf: generate ${t_gen}s, compile $count unit(s) with $jobs job(s) ${t_cc}s, link ${t_ld}s" >&2
