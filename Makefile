# The two set-up commands: `make run` and `make test`.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
BENCH_DIR ?= build-bench
FUZZ_DIR ?= build-fuzz
COV_DIR ?= build-cov
FUZZ_RUNS ?= 100000
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=

.PHONY: all build run test test-sanitize bench deps clean fuzz fuzz-smoke

all: build

deps:
	@bash .ci/deps

$(BUILD_DIR)/Makefile:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD_DIR)/Makefile
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/kaspo $(ARGS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKASPO_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Line and branch coverage of engine/ and client/ over the whole test
# suite, built with --coverage in its own directory; gcovr comes from
# Debian when it is missing.
.PHONY: coverage test-differential-long
coverage: deps
	@command -v gcovr >/dev/null 2>&1 || bash tools/apt_need.sh gcovr
	cmake -S . -B $(COV_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=--coverage \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage
	cmake --build $(COV_DIR) -j $(JOBS)
	find $(COV_DIR) -name '*.gcda' -delete
	cd $(COV_DIR) && ctest --output-on-failure -j $(JOBS)
	bash tools/coverage_summary.sh $(COV_DIR)

# The differential test against the sqlite3 shell with DIFF_QUERIES random
# queries instead of the few hundred of `make test` (deps installs sqlite3).
DIFF_QUERIES ?= 20000
test-differential-long: build
	cd $(BUILD_DIR) && KASPO_DIFF_QUERIES=$(DIFF_QUERIES) \
	  ctest --output-on-failure --timeout 7200 -R '^test_differential$$'

bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DKASPO_BENCH=ON -DKASPO_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS)

# The libFuzzer harnesses, built with clang and the sanitizers.
fuzz:
	@bash fuzz/deps.sh
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DKASPO_FUZZ=ON -DKASPO_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)

# Each harness for FUZZ_RUNS inputs, starting from its seed corpus.
fuzz-smoke: fuzz
	bash fuzz/smoke.sh $(FUZZ_DIR) $(FUZZ_RUNS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(BENCH_DIR) $(FUZZ_DIR) $(COV_DIR)
