#!/bin/sh
# Runs vk-quillet on the bundled engine-controller firmware.
# Usage: sh examples/demo.sh BUILD_DIR   (what `make demo` calls)
set -e
build=${1:-build}
tool="$build/vk-quillet"
firmware="$build/examples/engine_controller.elf"

for file in "$tool" "$firmware"; do
    if [ ! -f "$file" ]; then
        echo "demo: $file is missing; build first (make build)" >&2
        exit 1
    fi
done

step() {
    printf '\n== %s\n' "$1"
}

step "vk-quillet -l $firmware"
"$tool" -l "$firmware"

# Generate an A2L file from the bundled variable list; the tool reads the
# written file back and prints its counts.
variables="$(dirname "$0")/engine_controller.json"
a2l="$build/examples/engine_controller.a2l"
step "vk-quillet $firmware -v $variables -o $a2l"
"$tool" "$firmware" -v "$variables" -o "$a2l"

# Rebuild the firmware with one variable more in RAM, linked in front of the
# others as a new module would be, and update the A2L file written above: the
# tool rewrites every ECU address that moved, keeps every other byte, and
# reports what it changed.
clang=$(command -v clang || command -v clang-14 || true)
lld=$(command -v ld.lld || command -v ld.lld-14 || true)
if [ -z "$clang" ] || [ -z "$lld" ] || [ ! -f "$firmware.o" ]; then
    echo "demo: clang, ld.lld or $firmware.o is missing; update step skipped" >&2
    exit 0
fi
added="$build/examples/added_variable"
printf 'unsigned int added_counter;\n' >"$added.c"
rebuilt="$build/examples/engine_controller_rebuilt.elf"
step "rebuild with added_counter in front: $rebuilt"
"$clang" --target=armv7m-none-eabi -std=c11 -g -O0 -ffreestanding -nostdlib -c -o "$added.o" "$added.c"
"$lld" -e _start -static -o "$rebuilt" "$added.o" "$firmware.o"
updated="$build/examples/engine_controller_updated.a2l"
step "vk-quillet $rebuilt -u $a2l -o $updated"
"$tool" "$rebuilt" -u "$a2l" -o "$updated"
