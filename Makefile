# The front door: `make test` and `make demo` work on a fresh Debian 12 machine.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_ARGS ?=
DEBS      = cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev qt6-base-dev \
            gputils libcli11-dev libssl-dev libsqlite3-dev libpq-dev nlohmann-json3-dev fonts-dejavu-core
# The tests' throwaway PostgreSQL server for the record that several stations share.
TEST_DEBS = postgresql
# The Debian package and its test: dpkg-shlibdeps and file for its dependencies, lintian, the
# desktop entry's and AppStream file's validators, man for the manual pages.
PACKAGE_DEBS = dpkg-dev file lintian desktop-file-utils appstream man-db
BENCH_DEBS = libbenchmark-dev
FUZZ_DEBS  = clang libclang-rt-14-dev
# The Windows build: mingw-w64 with posix threads, GoogleTest's sources, groff for the manual's
# text; Wine runs its tests.
WINDOWS_DEBS = g++-mingw-w64-x86-64-posix googletest groff-base wine wine64
# Seconds each fuzz target runs: briefly in `make test`, longer in `make fuzz`, where a target
# also stops once it has made FUZZ_RUNS executions (the long run's goal).
FUZZ_BRIEF ?= 12
FUZZ_LONG  ?= 60
FUZZ_RUNS  ?= 10000000

.PHONY: all deps configure build package windows test test-main test-windows test-tsan test-asan \
        fuzz fuzz-build demo bench clean

all: build

deps:
	@scripts/deps.sh $(DEBS)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: test-main test-windows test-tsan test-asan fuzz-build
	@scripts/fuzz.sh $(BUILD)-fuzz $(FUZZ_BRIEF)

# build/tolvane_<version>_<arch>.deb
package: build
	@scripts/deps.sh $(PACKAGE_DEBS)
	@cmake --build $(BUILD) --target package

test-main: build
	@scripts/deps.sh $(PACKAGE_DEBS) $(TEST_DEBS)
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# tolvane-cli.exe, the layers without Qt and their tests for 64-bit Windows (build-windows/),
# and build-windows/tolvane-cli-<version>-windows-x86_64.zip.
windows: deps
	@scripts/deps.sh $(WINDOWS_DEBS)
	@cmake -S . -B $(BUILD)-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DTOLVANE_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=Release -DTOLVANE_HOST_BIN=$(abspath $(BUILD))/bin \
	  $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-windows -j $(JOBS)
	@cd $(BUILD)-windows && cpack >/dev/null && ls tolvane-cli-*-windows-x86_64.zip

# The Windows build's tests under Wine; tolvane-cli.exe's runs against the Linux build's
# simulated programmer.
test-windows: build windows
	@cd $(BUILD)-windows && ctest --output-on-failure -j $(JOBS)

# The threaded core (serial layer, framework threads, link, simulator, and the end-to-end
# tests over pseudo-terminals) again under ThreadSanitizer; the window is left out, Qt's own
# libraries are not instrumented.
test-tsan: deps
	@scripts/deps.sh $(TEST_DEBS)
	@cmake -S . -B $(BUILD)-tsan -G Ninja -DTOLVANE_SANITIZE=thread -DTOLVANE_WITH_GUI=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-tsan -j $(JOBS)
	@cd $(BUILD)-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS)

# The whole suite, window included, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@scripts/deps.sh $(TEST_DEBS)
	@cmake -S . -B $(BUILD)-asan -G Ninja -DTOLVANE_SANITIZE=address,undefined \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# libFuzzer targets with clang, in a build folder of their own.
fuzz-build: deps
	@scripts/deps.sh $(FUZZ_DEBS)
	@CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DTOLVANE_WITH_FUZZ=ON -DTOLVANE_WITH_GUI=OFF \
	  -DTOLVANE_WITH_TESTS=OFF -DTOLVANE_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	@scripts/fuzz.sh $(BUILD)-fuzz $(FUZZ_LONG) $(FUZZ_RUNS)

demo: build
	@scripts/demo.sh $(BUILD)

bench: deps
	@scripts/deps.sh $(BENCH_DEBS)
	@cmake -S . -B $(BUILD) -G Ninja -DTOLVANE_WITH_BENCH=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
