# The two set-up commands, `make run` and `make test`, over CMake.
# Developer targets: build, check, asan, tsan, fuzz, bench, clean.

JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CMAKE_BUILD = cmake --build $(1) --parallel $(JOBS)
CTEST = ctest --test-dir $(1) --output-on-failure --parallel $(JOBS)
FUZZ_SECONDS ?= 60

.PHONY: run test deps build check asan tsan fuzz bench clean

# Builds everything in build/ and starts the game there, on the data archive
# built beside it; app_log messages appear on standard error.
run: build
	cd build && ./numbral

# Builds everything and runs every test: the plain build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the audio tests under
# ThreadSanitizer, and a bounded run of each fuzz target.
test: check asan tsan fuzz

deps:
	@sh scripts/deps.sh

build: deps
	cmake -S . -B build $(GENERATOR) -DNUMBRAL_LOG_STDERR=ON
	$(call CMAKE_BUILD,build)

check: build
	$(call CTEST,build)

asan: deps
	cmake -S . -B build-asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DNUMBRAL_SANITIZE=ON -DNUMBRAL_BENCH=OFF
	$(call CMAKE_BUILD,build-asan)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 $(call CTEST,build-asan)

tsan: deps
	cmake -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DNUMBRAL_TSAN=ON -DNUMBRAL_BENCH=OFF
	$(call CMAKE_BUILD,build-tsan)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(call CTEST,build-tsan) -L audio

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GENERATOR) -DNUMBRAL_FUZZ=ON -DNUMBRAL_TESTS=OFF -DNUMBRAL_BENCH=OFF -DNUMBRAL_DATA=OFF
	$(call CMAKE_BUILD,build-fuzz)
	sh scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	sh scripts/bench.sh build

clean:
	rm -rf build build-asan build-tsan build-fuzz
