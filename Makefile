# Fresh machine:  make demo  (the loader with a simulated sensor)  |  make test  (every test, Linux and Windows)
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 20
# Warnings are errors in our own builds (a build by cmake alone only shows them).
WERROR ?= ON

.PHONY: all deps configure build test package sanitize fuzz bench demo render format format-check \
        clean windows windows-test windows-package release

# The Windows build (cross-compiled with mingw-w64, tested under wine): its Qt is a Qt 6 built
# for mingw-w64 (scripts/build-qt-windows); without one, everything but the windows is built.
WINDOWS_BUILD ?= build-windows
ZAR4_WINDOWS_QT ?= $(abspath $(wildcard ../shared/qt6-mingw))

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAR4_WERROR=$(WERROR) $(CMAKE_FLAGS)

# A build folder configured before the option existed (or with another value) takes WERROR.
configure: deps $(BUILD)/CMakeCache.txt
	@grep -qx 'ZAR4_WERROR:BOOL=$(WERROR)' $(BUILD)/CMakeCache.txt || \
	    cmake -DZAR4_WERROR=$(WERROR) $(BUILD) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Every test: the Linux suite, then the Windows build's suite under wine (which installs the
# cross toolchain and wine on first use).
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) windows-test

# The Debian package $(BUILD)/zar4loader_<version>_amd64.deb, which lintian must pass without
# an error. scripts/check-package installs, runs and removes it.
package: build
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error \
	    $(BUILD)/zar4loader_$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' \
	    $(BUILD)/CMakeCache.txt)_amd64.deb

# The core tests (no Qt) built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZAR4_WITH_QT=OFF \
	    -DZAR4_BENCH=OFF -DZAR4_SANITIZE=ON -DZAR4_WERROR=$(WERROR)
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	    ctest --output-on-failure -j $(JOBS)

# Each fuzzer of the file readers for FUZZ_SECONDS seconds.
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DZAR4_WITH_QT=OFF -DZAR4_BENCH=OFF -DZAR4_FUZZ=ON -DZAR4_WERROR=$(WERROR)
	cmake --build build-fuzz -j $(JOBS)
	@set -e; for f in build-fuzz/tests/fuzz_*; do \
	    [ -f "$$f" ] && [ -x "$$f" ] || continue; \
	    echo "== $$f ($(FUZZ_SECONDS) s)"; \
	    mkdir -p build-fuzz/corpus/$$(basename $$f); \
	    if ! "$$f" -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 \
	        build-fuzz/corpus/$$(basename $$f) > build-fuzz/$$(basename $$f).log 2>&1; then \
	        tail -n 60 build-fuzz/$$(basename $$f).log; exit 1; fi; \
	    tail -n 6 build-fuzz/$$(basename $$f).log; \
	done

bench: build
	@set -e; for b in $(BUILD)/bench/bench_*; do \
	    [ -f "$$b" ] && [ -x "$$b" ] || continue; echo "== $$b"; "$$b"; done

# Only what each runs: the demo needs the loader and the simulated sensor, the pictures the
# window test programs (a first start builds no test before the window appears).
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target zar4loader zar4sim
	scripts/demo $(BUILD)

render: configure
	cmake --build $(BUILD) -j $(JOBS) --target test_ui_windows test_params_windows \
	    test_patterns_windows test_transfer_windows test_app_windows
	scripts/render-windows $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

windows:
	@scripts/install-deps --windows
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAR4_BENCH=OFF -DZAR4_WERROR=$(WERROR) \
	    -DZAR4_WINDOWS_QT="$(ZAR4_WINDOWS_QT)" -DZAR4_LINUX_BUILD=$(abspath $(BUILD)) $(CMAKE_FLAGS)
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# The setup program $(WINDOWS_BUILD)/zar4loader-<version>-win64-setup.exe and the portable
# $(WINDOWS_BUILD)/zar4loader-<version>-win64.zip: only what runs, stripped, with the licence
# notices. scripts/check-windows-package installs, runs, upgrades and removes them under wine.
windows-package: windows
	cd $(WINDOWS_BUILD) && cpack -C RelWithDebInfo

# The build type a packager picks first, as a packager builds it (warnings shown, not errors):
# the programs only, in build-release/.
release:
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZAR4_TESTS=OFF -DZAR4_BENCH=OFF \
	    -DZAR4_WERROR=OFF $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS)

# The Windows suite under wine; the serial tests talk to the Linux build's zar4sim, and
# zar4ctl.exe is checked against the Linux zar4ctl.
windows-test: configure windows
	cmake --build $(BUILD) -j $(JOBS) --target zar4sim zar4ctl
	JOBS=$(JOBS) scripts/windows-test $(WINDOWS_BUILD)

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz build-release $(WINDOWS_BUILD)
