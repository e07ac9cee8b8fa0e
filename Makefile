# Quick start: `make run` analyses this machine, `make test` runs every test.
PREFIX ?= /usr/local
DESTDIR ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
WERROR ?= ON

.PHONY: all deps configure build run test test-unit test-asan install deb fuzz bench clean

all: build

deps:
	@scripts/install-deps.sh

build: configure
	@cmake --build build -j $(JOBS)

configure: deps
	@cmake -S . -B build -DKELVANE_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null

# make run builds the program alone; the tests are built by make build/test.
run: configure
	@cmake --build build -j $(JOBS) --target kelvane
	./build/kelvane

test: build
	@scripts/install-test-deps.sh
	cd build && ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B build-asan -DKELVANE_SANITIZE=ON -DKELVANE_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# The Debian package, built from a copy of the tree into the current directory.
deb: deps
	@scripts/build-deb.sh .

fuzz:
	@scripts/fuzz.sh

bench: build
	@scripts/bench.sh

clean:
	rm -rf build build-asan build-fuzz
