# Front door: `make demo` runs the tool on the bundled example firmware,
# `make test` installs what is missing, builds and runs every test, `make
# windows` cross-builds vk-quillet.exe and `make windows-test` runs the
# Windows build's tests and the demo's steps under wine.
BUILD ?= build
WINDOWS_BUILD ?= build-windows
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
WINDOWS_TOOLCHAIN = -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

.PHONY: setup configure build test demo asan clean windows windows-test

setup:
	@sh scripts/setup.sh test

configure: setup
	cmake -S . -B $(BUILD) -DVK_TESTS=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Installs and builds only what the demo runs: the tool and the example
# firmware. A build folder configured for the tests is used as it stands.
demo:
	@sh scripts/setup.sh demo
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DVK_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target vk-quillet vk_example
	sh examples/demo.sh $(BUILD)

# The whole suite once more under the address and undefined-behaviour sanitizers.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

# vk-quillet.exe for 64-bit Windows 10 and later, self-contained.
windows:
	@sh scripts/setup.sh windows
	@test -f $(WINDOWS_BUILD)/CMakeCache.txt || cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_TOOLCHAIN) -DVK_TESTS=OFF
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target vk-quillet

# The test programs of the Windows build under wine, on the Linux build's
# fixtures, and the demo's steps compared with the Linux build's output.
windows-test: build
	@sh scripts/setup.sh windows
	cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_TOOLCHAIN) -DVK_TESTS=ON \
		-DVK_FIXTURE_DIR=$(abspath $(BUILD))/fixtures -DVK_READELF_DIR=$(abspath $(WINDOWS_BUILD))/readelf
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	sh scripts/windows-test.sh $(BUILD) $(WINDOWS_BUILD)

clean:
	rm -rf build build-asan build-windows

# Every fuzz target for FUZZ_SECONDS each (default 60); fails on any finding.
.PHONY: fuzz
fuzz:
	sh scripts/fuzz.sh $(or $(FUZZ_SECONDS),60)

# Benchmark on generated firmware: SIZE is small, medium, large or all.
SIZE ?= small
.PHONY: bench
bench: build
	sh bench/run.sh $(SIZE) $(BUILD)
