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
