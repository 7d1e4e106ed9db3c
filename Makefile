# The front door: `make test` and `make demo` work on a fresh Debian 12 machine.
BUILD    ?= build
JOBS     ?= $(shell nproc)
CMAKE_ARGS ?=
DEBS      = cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev qt6-base-dev \
            gputils libcli11-dev fonts-dejavu-core
BENCH_DEBS = libbenchmark-dev

.PHONY: all deps configure build test test-main test-tsan demo bench clean

all: build

deps:
	@scripts/deps.sh $(DEBS)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: test-main test-tsan

test-main: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The threaded core (serial layer, framework threads, link, simulator) again under
# ThreadSanitizer; the window is left out, Qt's own libraries are not instrumented.
test-tsan: deps
	@cmake -S . -B $(BUILD)-tsan -G Ninja -DTOLVANE_SANITIZE=thread -DTOLVANE_WITH_GUI=OFF \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD)-tsan -j $(JOBS)
	@cd $(BUILD)-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

bench: deps
	@scripts/deps.sh $(BENCH_DEBS)
	@cmake -S . -B $(BUILD) -G Ninja -DTOLVANE_WITH_BENCH=ON $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
