# The two set-up commands, `make run` and `make test`, over CMake; `make help`
# lists every target.

JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CMAKE_BUILD = cmake --build $(1) --parallel $(JOBS)
CONFIGURE_BUILD = cmake -S . -B build $(GENERATOR) -DNUMBRAL_LOG_STDERR=ON
FUZZ_SECONDS ?= 60

.PHONY: help run test deps build check asan tsan fuzz bench playthrough clean package package-check

help:
	@echo "make run     build the game and its data archive in build/ and start it there"
	@echo "make test    build everything and run every test: check, asan, tsan and fuzz;"
	@echo "             ends with one line 'N passed, 0 failed'"
	@echo "make build   build everything in build/: game, archives, tests, benchmarks"
	@echo "make check   the tests on the plain build (build/)"
	@echo "make asan    the tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
	@echo "make tsan    the audio tests under ThreadSanitizer (build-tsan/)"
	@echo "make fuzz    every fuzz target, FUZZ_SECONDS (default 60) shared among them (build-fuzz/)"
	@echo "make bench   build the benchmarks in Release (build-bench/), run them all and write"
	@echo "             their table to docs/performance.md"
	@echo "make playthrough"
	@echo "             play the shipped game by script from the opening to the ending, and"
	@echo "             each level on its own; prints game time and wall time of each run"
	@echo "make package the Debian package build/numbral_VERSION_ARCH.deb"
	@echo "make package-check"
	@echo "             build the package, unpack and validate it, start the unpacked game,"
	@echo "             compile the Windows layer (these tests also run in make check)"
	@echo "make deps    install the Debian packages the build needs (nothing when present)"
	@echo "make clean   remove build/, build-asan/, build-tsan/, build-fuzz/ and build-bench/"
	@echo "Variables: JOBS (parallel build and test jobs, default: every core), FUZZ_SECONDS."

# Builds only the game and its archive, then starts it in build/ on the
# archive built beside it; app_log messages appear on standard error.
run: deps
	$(CONFIGURE_BUILD)
	$(call CMAKE_BUILD,build) --target numbral numbral_data
	cd build && ./numbral

# Every test: the plain build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the audio tests under ThreadSanitizer and a
# bounded run of each fuzz target. Each stage leaves its count in its build
# folder; the summary ends with the line "N passed, 0 failed".
test: check asan tsan fuzz
	@sh scripts/test_summary.sh build build-asan build-tsan build-fuzz

deps:
	@sh scripts/deps.sh

build: deps
	$(CONFIGURE_BUILD)
	$(call CMAKE_BUILD,build)

check: build
	sh scripts/ctest_stage.sh check build $(JOBS)

asan: deps
	cmake -S . -B build-asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DNUMBRAL_SANITIZE=ON -DNUMBRAL_BENCH=OFF
	$(call CMAKE_BUILD,build-asan)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		sh scripts/ctest_stage.sh asan build-asan $(JOBS)

tsan: deps
	cmake -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DNUMBRAL_TSAN=ON -DNUMBRAL_BENCH=OFF
	$(call CMAKE_BUILD,build-tsan)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 sh scripts/ctest_stage.sh tsan build-tsan $(JOBS) -L audio

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DNUMBRAL_FUZZ=ON -DNUMBRAL_TESTS=OFF -DNUMBRAL_BENCH=OFF -DNUMBRAL_DATA=OFF
	$(call CMAKE_BUILD,build-fuzz)
	sh scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Release build of its own, without tests; the table goes to the docs.
bench: deps
	cmake -S . -B build-bench $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DNUMBRAL_BENCH=ON -DNUMBRAL_TESTS=OFF
	$(call CMAKE_BUILD,build-bench) --target numbral_bench
	sh scripts/bench.sh build-bench docs/performance.md

# The game, its archive and the script runner only; the playthrough also
# runs in make check.
playthrough: deps
	$(CONFIGURE_BUILD)
	$(call CMAKE_BUILD,build) --target numbral numbral_data numbral-script
	sh scripts/playthrough.sh build $(JOBS)

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench

# The Debian package of the plain build, made with CPack (cmake/packaging.cmake).
package: build
	$(call CMAKE_BUILD,build) --target package

package-check: build
	ctest --test-dir build --output-on-failure -L package
