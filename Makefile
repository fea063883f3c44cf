# Front door: `make run` shows the demo map in the viewer, `make test` runs every test.
# Both install what is missing first (scripts/install-deps).

CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ifdef CI
CMAKE_FLAGS += -DKELVANE_WERROR=ON
endif

.PHONY: all deps build build-asan test unit-tests run bench fuzz windows clean

all: build

deps:
	@scripts/install-deps build

build: deps
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build

build-asan: deps
	@cmake -S . -B build-asan $(CMAKE_FLAGS) -DKELVANE_SANITIZE=ON >/dev/null
	@cmake --build build-asan

unit-tests: build build-asan
	cd build && ctest --output-on-failure
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure

test: unit-tests

run: build
	@echo "The viewer is not built yet; this builds the toolkit and reads a generated map:"
	build/bin/kelvane info --help

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELVANE_BENCH=ON -DKELVANE_TESTS=OFF >/dev/null
	@cmake --build build-bench
	build-bench/bin/bench_load

clean:
	rm -rf build build-asan build-bench build-fuzz build-windows
