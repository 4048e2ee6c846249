# Entry points for people and CI. Every target installs the Debian packages it
# needs that are missing (scripts/install-deps), then configures and builds.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

# Which packages the target installs (scripts/install-deps run|test|package).
DEPS ?= test
# What `make build` builds: everything by default; `make run` only the programs.
TARGETS ?=

.PHONY: all deps configure build run test bench tsan asan fuzz soak screenshots package package-test windows test-windows clean

all: build

deps:
	@scripts/install-deps $(DEPS)

# Configures every time (a second or two): a build folder first configured by
# `make run`, without GoogleTest, takes the tests in once `make test` has
# installed it.
configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) $(if $(TARGETS),--target $(TARGETS))

# The desktop app, qmss and the simulators (inside qmss), nothing else.
run:
	@$(MAKE) --no-print-directory build DEPS=run TARGETS="QMScaleService qmss"
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
	  TEST_ENV="TSAN_OPTIONS='suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=0 exitcode=66 die_after_fork=0'"

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

# The Debian package: the programs alone, built in Release into
# build-package/ (CI builds them with warnings as errors), then checked by
# lintian; and the Windows zip of qmss.exe with its README, from the cross
# build in build-windows/.
package:
	@$(MAKE) --no-print-directory build DEPS=package BUILD=build-package \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DQMSS_BUILD_TESTS=OFF $(CMAKE_FLAGS)"
	@cd build-package && cpack -G DEB >/dev/null && ls -l *.deb
	@lintian --fail-on error build-package/*.deb
	@$(MAKE) --no-print-directory windows TARGETS=windows-zip
	@ls -l build-windows/*.zip

# The Windows cross build (build-windows/) and its tests under Wine. The
# end-to-end runs talk to the simulators of the Linux qmss in $(BUILD).
LINUX_QMSS_TARGETS ?= qmss
windows:
	@$(MAKE) --no-print-directory build DEPS=windows BUILD=build-windows \
	  CMAKE_FLAGS="-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DQMSS_LINUX_QMSS=$(abspath $(BUILD))/cli/qmss $(CMAKE_FLAGS)"

test-windows:
	@$(MAKE) --no-print-directory build DEPS=run TARGETS="$(LINUX_QMSS_TARGETS)"
	@$(MAKE) --no-print-directory windows
	@cd build-windows && ctest --output-on-failure -j $(JOBS) --timeout 900

# Unpacks the package into a temporary root and checks it from there.
package-test: package
	@scripts/package-test build-package

clean:
	rm -rf build build-tsan build-asan build-fuzz build-package build-windows
