# Front door: `make demo` runs the tool on the bundled example firmware,
# `make test` installs what is missing, builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup configure build test demo asan clean

setup:
	@sh scripts/setup.sh

configure: setup
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	sh examples/demo.sh $(BUILD)

# The whole suite once more under the address and undefined-behaviour sanitizers.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

clean:
	rm -rf build build-asan

# Every fuzz target for FUZZ_SECONDS each (default 60); fails on any finding.
.PHONY: fuzz
fuzz:
	sh scripts/fuzz.sh $(or $(FUZZ_SECONDS),60)

# Benchmark on generated firmware: SIZE is small, medium, large or all.
SIZE ?= small
.PHONY: bench
bench: build
	sh bench/run.sh $(SIZE) $(BUILD)
