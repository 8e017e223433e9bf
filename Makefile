# One entry point for building, testing and running the demo.
#   make demo   build and run the demo shell (ARGS=--bounded to pin it)
#   make test   install missing packages, check the formatting, build, run
#               every test (g++), then run them again in an address+undefined
#               sanitizer build (clang)
#   make bench  build and run the benchmarks
#   make check-format  check the sources against .clang-format (changes nothing)
#   make fuzz   build the fuzz targets (clang, libFuzzer) and run each for
#               FUZZ_SECONDS (default 60); FUZZ_TARGETS picks some of them.
#               Found inputs stay in $(FUZZ_BUILD)/fuzz-corpus, out of the tree.
#
# make test also runs every fuzz target for CI_FUZZ_SECONDS on its checked-in
# corpus (test-fuzz) and the unit tests and the fuzz corpora under valgrind
# memcheck (test-valgrind): definite leaks and invalid accesses fail.  The
# pseudo-terminal unit tests run under valgrind too; the end-to-end tests,
# which time their terminal sessions, are left to the sanitizer build, and so
# are the C++ wrapper's allocation-failure tests: they count calls of their
# own operator new, which valgrind replaces with its own.

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CI_FUZZ_SECONDS ?= 20
FUZZ_TARGETS ?=
VALGRIND = valgrind -q --error-exitcode=99 --leak-check=full \
	--errors-for-leak-kinds=definite --show-leak-kinds=definite

.PHONY: all deps build demo test test-main test-asan test-fuzz test-valgrind fuzz fuzz-build \
	bench check-format clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
	cmake --build $(BUILD) -j $(JOBS)

check-format: deps
	tools/check-format.sh

demo: build
	$(BUILD)/examples/kavrik-demo $(ARGS)

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKAVRIK_SANITIZE=ON \
	  -DKAVRIK_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRIK_FUZZ=ON \
	  -DKAVRIK_BENCH=OFF -DKAVRIK_EXAMPLES=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target kavrik_fuzz

fuzz: fuzz-build
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# From the checked-in corpus only, so that a run does not depend on earlier ones.
test-fuzz: fuzz-build
	FUZZ_FRESH=1 tests/fuzz/run.sh $(FUZZ_BUILD) $(CI_FUZZ_SECONDS)

test-valgrind: build
	$(VALGRIND) $(BUILD)/tests/kavrik_unit --gtest_brief=1 \
	  --gtest_filter='-CppEditor.EveryAllocationOfTheWrapperFailsWithItsCodeAndMessage:CppEditor.AnEditorWithoutMemoryIsEmptyAndLeaksNothing' 
	@for t in $(BUILD)/tests/fuzz/*_replay; do \
	  name=$$(basename $$t _replay); echo "== valgrind: $$name corpus"; \
	  $(VALGRIND) $$t tests/fuzz/corpus/$$name 2>$(BUILD)/valgrind-$$name.log || \
	    { cat $(BUILD)/valgrind-$$name.log; exit 1; }; \
	  tail -1 $(BUILD)/valgrind-$$name.log; \
	done

test: check-format test-main test-asan test-fuzz test-valgrind

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
