# make run   - set up, build, and run the program against the simulated encoder
#              (or a real one: make run PORT=ttyUSB0)
# make test  - set up, build, and run every test
# make build - set up and build
# make package - set up, and build the Debian package build-package/kvxc_<version>_<arch>.deb
#              (its own build folder: Debian's build flags, no tests), then check
#              it with lintian
# make check - Debug builds with AddressSanitizer + UndefinedBehaviorSanitizer
#              (build-asan/) and with ThreadSanitizer (build-tsan/), each
#              running every test but those labelled realclient (a real
#              client such as Liquidsoap running for long: make test runs them)
# make fuzz  - build the libFuzzer targets with clang (build-fuzz/) and run
#              each for FUZZ_SECONDS seconds (default 60)
# make lint  - clang-format in check mode over every tracked .cpp/.h, and
#              clang-tidy (.clang-tidy) over our sources in the compile database
BUILD_DIR ?= build
PACKAGE_DIR ?= build-package
JOBS ?= $(shell nproc)
PORT ?=
FUZZ_SECONDS ?= 60
# A compiler warning in our code fails the build (WERROR=OFF to look past one).
WERROR ?= ON

# Any sanitizer report fails the test that triggered it. Reports from inside
# Qt's own libraries (not built for ThreadSanitizer) are suppressed by
# tsan.supp; nothing of ours is.
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
           UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TSAN_ENV = TSAN_OPTIONS=suppressions=$(CURDIR)/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: all setup configure build test run package clean check check-asan check-tsan fuzz lint

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVX_WARNINGS_AS_ERRORS=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

package: setup
	@bash scripts/package.sh $(PACKAGE_DIR) $(JOBS) $(WERROR)

run: build
	@bash scripts/run.sh $(BUILD_DIR) $(PORT)

check: check-asan check-tsan

check-asan: setup
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKVX_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS) -LE realclient

check-tsan: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DKVX_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) -LE realclient

fuzz: setup
	@cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@bash fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# clang-tidy reads the compile database of $(BUILD_DIR); only files under our
# source folders are checked, not the moc and rcc output in the build folder.
lint: configure
	@git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
	@run-clang-tidy -p $(BUILD_DIR) -j $(JOBS) -quiet '^$(CURDIR)/(src|tools|tests|bench)/.*\.cpp$$'

clean:
	rm -rf $(BUILD_DIR) $(PACKAGE_DIR) build-asan build-tsan build-fuzz
