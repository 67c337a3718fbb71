# telvar: `make demo` converts the bundled samples into out/, `make check` runs every test
# (plain build, then AddressSanitizer + UndefinedBehaviorSanitizer).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan test test-asan check demo bench clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTELVAR_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

check: test test-asan

demo: build
	@sh scripts/demo.sh build/telvar

# Speed and scale against peers on generated inputs (a few minutes; BENCH_SIZE=2G for the
# full-scale run): see bench/README.md. Not part of check.
bench: deps
	@bash bench/run.sh

clean:
	rm -rf build build-asan out
