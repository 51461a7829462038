# The two set-up commands: `make run` builds the program alone (it needs
# only cmake, g++ and make); `make test` adds the test packages when they
# are missing, then builds and runs every test.
# The builds cmake drives are makes below this one: without this flag each
# of them names the directory it enters and leaves, around every step.
MAKEFLAGS += --no-print-directory
# The program and the tests are optimised as the benchmarks' build is not
# (-O2, not -O3), without debugging information, which takes a third of
# the compiler's time: `make test-sanitize` builds with it.
BUILD_TYPE_FLAGS = -DCMAKE_BUILD_TYPE=Release '-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG'
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
BENCH_DIR ?= build-bench
FUZZ_DIR ?= build-fuzz
COV_DIR ?= build-cov
FUZZ_RUNS ?= 100000
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
ARGS ?=
PREFIX ?= /usr/local

.PHONY: all program build run install test test-sanitize test-tsan bench deps clean fuzz fuzz-smoke

all: program

deps:
	@bash .ci/deps

# A build directory that `make run` makes leaves the tests out, so that it
# needs no test package; `make build` switches them on in the same
# directory without compiling the program again. An existing directory is
# taken as it is configured.
program:
	@bash .ci/deps program
	[ -f $(BUILD_DIR)/CMakeCache.txt ] || \
	  cmake -S . -B $(BUILD_DIR) $(BUILD_TYPE_FLAGS) -DKASPO_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kaspo

build:
	@bash .ci/deps test
	cmake -S . -B $(BUILD_DIR) $(BUILD_TYPE_FLAGS) -DKASPO_TESTS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# kaspo ends with status 1 after every run that started its database, a
# normal quit included; only another status is a failure of `make run`.
run: program
	./$(BUILD_DIR)/kaspo $(ARGS) || [ $$? -eq 1 ]

# The program and its manual page below PREFIX (bin/, share/man/man1/),
# the user's manual in share/doc/kaspo/.
install: program
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	@bash .ci/deps test
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKASPO_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The signal and thread tests (real kaspo runs ended by signals, the
# export writer, the per-thread output buffers) built with ThreadSanitizer, every report fatal: a
# report fails the run's exit status and its compared standard error.
# ThreadSanitizer delivers a signal raised inside its own handler only
# after the handler returns, so the test of that re-entry stays out.
TSAN_TESTS ?= *Signal*:*AddingAhead*:*EncodedAhead*:*Rescue*:*TemporaryFiles*:*FileSizeLimit*:*CtrlC*:*Queued*:*Export*:*OutputBuffer*-SignalHandler.*
test-tsan:
	@bash .ci/deps test
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DKASPO_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target kaspo test_e2e test_engine test_platform test_app
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 exitcode=66 report_signal_unsafe=1" \
	  GTEST_FILTER='$(TSAN_TESTS)' \
	  ctest --output-on-failure -j $(JOBS) -R '^test_(e2e|engine|platform|app)$$'

# Line and branch coverage of engine/ and client/ over the whole test
# suite, built with --coverage in its own directory; gcovr comes from
# Debian when it is missing.
.PHONY: coverage test-differential-long
coverage:
	@bash .ci/deps test
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
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(BENCH_DIR) $(FUZZ_DIR) $(COV_DIR)

# Lays out the C++ files changed since the last commit (and new ones) as
# .clang-format says; the rest of the tree is left as it is.
.PHONY: format format-check
format:
	@command -v clang-format >/dev/null 2>&1 || bash tools/apt_need.sh clang-format
	@files=$$( { git diff --name-only --diff-filter=ACMR HEAD; \
	  git ls-files --others --exclude-standard; } | grep -E '\.(cpp|h)$$' | sort -u); \
	  if [ -n "$$files" ]; then clang-format -i $$files && echo "formatted: $$files"; fi

# Fails on any tracked C++ file that is not laid out as .clang-format says
# (CI runs it first).
format-check:
	@command -v clang-format >/dev/null 2>&1 || bash tools/apt_need.sh clang-format
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
