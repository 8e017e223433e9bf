# One entry point for building, testing and running the demo.
#   make demo   build and run the demo shell (ARGS=--bounded to pin it)
#   make test   install missing packages, build, run every test (g++), then
#               run them again in an address+undefined sanitizer build (clang)
#   make bench  build and run the benchmarks

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: all deps build demo test test-main test-asan bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/examples/kavrik-demo $(ARGS)

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKAVRIK_SANITIZE=ON \
	  -DKAVRIK_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

test: test-main test-asan

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
