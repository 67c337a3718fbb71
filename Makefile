# telvar: `make demo` builds telvar alone and converts the bundled samples into out/ (it needs
# only a compiler, make, CMake and SQLite); `make check` runs every test (plain build, then
# AddressSanitizer + UndefinedBehaviorSanitizer), then the tests that run threads under
# ThreadSanitizer, all with warnings as errors.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# build/ has one configuration for the demo, the tests and the benchmarks, so that none of
# them compiles again what another built: the same build type, warnings as errors. Only the
# sanitizer builds (build-asan/, build-tsan/) and the fuzz build (build-fuzz/) compile apart.
BUILD_SETTINGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVAR_WERROR=ON

.PHONY: all deps deps-demo build build-asan build-tsan test test-asan test-tsan check demo bench fuzz clean

all: build

deps:
	@sh scripts/install-deps.sh

deps-demo:
	@sh scripts/install-deps.sh demo

build: deps
	cmake -S . -B build $(BUILD_SETTINGS) -DTELVAR_TESTS=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTELVAR_SANITIZE=ON -DTELVAR_TESTS=ON -DTELVAR_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

test: build
	cd build && ctest --output-on-failure --no-tests=error -j $(JOBS)

test-asan: build-asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure --no-tests=error -j $(JOBS)

# ThreadSanitizer: only the tests that run threads of the program (label "threads", listed in
# tests/CMakeLists.txt) and what they need are built and run.
build-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVAR_TSAN=ON -DTELVAR_TESTS=ON -DTELVAR_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-tsan -j $(JOBS) --target threads_tests

test-tsan: build-tsan
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure --no-tests=error -L threads -j $(JOBS)

check: test test-asan test-tsan

# AUTO: a machine without GoogleTest configures too; only telvar is built.
demo: deps-demo
	cmake -S . -B build $(BUILD_SETTINGS) -DTELVAR_TESTS=AUTO $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS) --target telvar
	@sh scripts/demo.sh build/telvar

# Speed and scale against peers on generated inputs (a few minutes; BENCH_SIZE=2G for the
# full-scale run): see bench/README.md. Not part of check.
bench: deps
	@JOBS=$(JOBS) bash bench/run.sh

# libFuzzer targets with clang, each run for FUZZ_SECONDS (default 60): see fuzz/ and
# scripts/fuzz.sh. Ends non-zero on any crash, leak, timeout or failed invariant.
fuzz:
	@sh scripts/install-deps.sh fuzz
	@JOBS=$(JOBS) sh scripts/fuzz.sh

clean:
	rm -rf build build-asan build-tsan build-fuzz out
