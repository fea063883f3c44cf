# Front door: `make run` shows the demo map in the viewer, `make test` runs every test.
# Both install what is missing first (scripts/install-deps).

# Build directories and their options are the presets in CMakePresets.json; CI adds -Werror.
CMAKE_FLAGS := $(if $(CI),-DKELVANE_WERROR=ON)

.PHONY: all deps test-deps build build-asan test test-busy run bench fuzz windows web serve-web package clean

all: build

deps:
	@scripts/install-deps build

test-deps:
	@scripts/install-deps build test windows fuzz package web

build: deps
	@cmake --preset default $(CMAKE_FLAGS) >/dev/null
	@cmake --build build

build-asan: deps
	@cmake --preset asan $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan

# Unit tests, the command line, the SDL layer and the viewer end to end under Xvfb, then
# all of it again built with AddressSanitizer and UndefinedBehaviorSanitizer; last, the
# end-to-end and web tests with both cores busy.
test: test-deps build build-asan
	cd build && ctest --output-on-failure
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure
	$(MAKE) --no-print-directory windows
	tests/e2e/wine_smoke.sh build-windows/bin build/bin build/bin/wm_delete
	$(MAKE) --no-print-directory web
	tests/web/web_test.sh build-web build/bin
	$(MAKE) --no-print-directory package
	tests/package_test.sh dist build
	tests/e2e/installer_test.sh dist build/bin
	scripts/fuzz 60
	tests/busy_test.sh build build-web

# The end-to-end and web tests alone, with both cores busy.
test-busy: test-deps build web
	tests/busy_test.sh build build-web

# The native Windows viewer and toolkit, cross-built with mingw-w64 into build-windows/bin/.
windows:
	@scripts/install-deps windows
	@cmake --preset windows $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-windows

# The viewer for web browsers, with Debian's emscripten: the static site build-web/.
# Emscripten's JavaScript tools find Debian's acorn through NODE_PATH.
web: build
	@scripts/install-deps web
	@NODE_PATH=/usr/share/nodejs cmake --preset web >/dev/null
	@NODE_PATH=/usr/share/nodejs cmake --build build-web-obj
	@build/bin/kelvane demo -o build-web/demo.map
	@echo "web: build-web/ ('make serve-web' serves it on http://127.0.0.1:8000/)"

serve-web: web
	python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web

# dist/: the .deb (dependencies from the binaries), the Windows zip and installer, the web
# site's zip.
package: build windows web
	@scripts/install-deps package
	@cd build && cpack >/dev/null && echo "package: dist/$$(cd ../dist && ls kelvane_*_amd64.deb)"
	@cd build-windows && cpack >/dev/null && echo "package: dist/$$(cd ../dist && ls kelvane-*-windows-x86_64.zip)"
	@cmake --build build-windows --target installer >/dev/null && echo "package: dist/$$(cd dist && ls kelvane-*-windows-x86_64-setup.exe)"
	@v=$$(build/bin/kelvane --version | cut -d' ' -f2) && rm -f dist/kelvane-$$v-web.zip && \
	  cd build-web && cmake -E tar cf ../dist/kelvane-$$v-web.zip --format=zip . && \
	  echo "package: dist/kelvane-$$v-web.zip"

# Opens the demo landscape in the viewer; without a display, renders it to a PNG instead.
run: build
	@mkdir -p out
	@build/bin/kelvane demo -o out/demo.map
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "Opening out/demo.map: fly with E/D/S/F, W/R and the arrows; T shows the axis lines, P prints the view, Escape quits."; \
	  build/bin/kelvane-viewer out/demo.map; \
	else \
	  build/bin/kelvane render out/demo.map -o out/demo.png && \
	  echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset), so the viewer cannot open a window."; \
	  echo "Rendered the demo landscape headless instead: out/demo.png"; \
	fi

# The fuzz targets, FUZZ_SECONDS each (default 600); crashes are kept in fuzz/crashes/.
FUZZ_SECONDS ?= 600
fuzz:
	scripts/fuzz $(FUZZ_SECONDS)

bench: build web
	@scripts/install-deps test
	@cmake --preset bench >/dev/null
	@cmake --build build-bench
	build-bench/bin/bench_load
	cd build-bench && bin/bench_frame && bin/bench_headless && bin/bench_outline && bin/bench_edit
	bench/frame_rates.sh build/bin build-web
	bench/first_minute.sh build/bin
	bench/chains.sh build/bin
	bench/startup.sh build/bin
	bench/exports.sh build/bin
	bench/patch.sh build/bin
	bench/merge.sh build/bin
	bench/python.sh build/bin build/python

clean:
	rm -rf build build-asan build-bench build-fuzz build-windows build-web build-web-obj out dist
