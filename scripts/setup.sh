#!/bin/sh
# Installs the Debian packages that a target needs, when missing.
#   sh scripts/setup.sh [demo|test|windows]...   (default: test)
#   demo:    the tool and the example firmware (make demo)
#   test:    also the fixtures' compilers, gdb and GoogleTest (make test)
#   windows: the mingw-w64 cross compiler, wine and GoogleTest's sources
#            (make windows, make windows-test)
set -e
demo="cmake make g++ clang lld libcli11-dev nlohmann-json3-dev"
test="$demo binutils llvm libgtest-dev libclang-rt-14-dev gcc-arm-none-eabi gcc-12-s390x-linux-gnu gcc-12-m68k-linux-gnu gcc-12-sh4-linux-gnu g++-12-powerpc-linux-gnu gcc-avr avr-libc gdb-multiarch"
windows="cmake make libcli11-dev nlohmann-json3-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest"

packages=""
for target in ${*:-test}; do
    case $target in
        demo) packages="$packages $demo" ;;
        test) packages="$packages $test" ;;
        windows) packages="$packages $windows" ;;
        *)
            echo "setup: unknown target $target (demo, test or windows)" >&2
            exit 2
            ;;
    esac
done
missing=""
for p in $packages; do
    case " $missing " in *" $p "*) continue ;; esac
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
