# make run   - set up, build, and run the program against the simulated encoder
#              (or a real one: make run PORT=ttyUSB0)
# make test  - set up, build, and run every test
# make build - set up and build
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
PORT ?=

.PHONY: all setup configure build test run clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD_DIR) $(PORT)

clean:
	rm -rf $(BUILD_DIR)
