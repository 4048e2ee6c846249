# Entry points for people and CI. Every target installs the Debian packages it
# needs that are missing (scripts/install-deps), then configures and builds.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build release run test bench tsan asan fuzz soak screenshots clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The programs (not the tests) as shipped: optimised, warnings as errors.
RELEASE_BUILD ?= build-release
release: deps
	@[ -f $(RELEASE_BUILD)/build.ninja ] || cmake -S . -B $(RELEASE_BUILD) -G Ninja \
	  -DCMAKE_BUILD_TYPE=Release -DQMSS_WERROR=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS) --target qmss qmss-full QMScaleService qmsssim

run: build
	@scripts/run-demo $(BUILD)

TEST_ENV ?=

test: build
	@cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j $(JOBS) --timeout 900

bench: build
	@bench/run $(BUILD)

# Sanitizer runs: any report fails the test that produced it.
tsan:
	@$(MAKE) --no-print-directory test BUILD=build-tsan \
	  CMAKE_FLAGS="-DQMSS_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)" \
	  TEST_ENV="TSAN_OPTIONS='suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=0 exitcode=66'"

asan:
	@$(MAKE) --no-print-directory test BUILD=build-asan \
	  CMAKE_FLAGS="-DQMSS_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS)" \
	  TEST_ENV="ASAN_OPTIONS='detect_leaks=1' UBSAN_OPTIONS='print_stacktrace=1 halt_on_error=1'"

fuzz:
	@scripts/fuzz

soak: build
	@scripts/soak $(BUILD)

screenshots: build
	@scripts/screenshots $(BUILD)

clean:
	rm -rf build build-tsan build-asan build-fuzz build-release
