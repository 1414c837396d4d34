#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
set -e
packages="cmake make g++ binutils clang lld llvm libcli11-dev nlohmann-json3-dev libgtest-dev libclang-rt-14-dev gcc-arm-none-eabi gcc-12-s390x-linux-gnu gcc-12-m68k-linux-gnu gcc-12-sh4-linux-gnu g++-12-powerpc-linux-gnu gcc-avr avr-libc gdb-multiarch"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
