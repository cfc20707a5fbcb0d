# Waterline: the two commands are `make run` and `make test`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CMAKE_ARGS ?=

.PHONY: all deps configure build run test bench test-asan fuzz clean format format-check install deb deb-test

all: build

deps:
	@./scripts/deps.sh

# Configuring every time is cheap and picks up folders that appeared since the last run.
configure: deps
	@mkdir -p $(BUILD)
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) > $(BUILD)/configure.log \
	  || { cat $(BUILD)/configure.log; exit 1; }

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/bin/waterline $(ARGS)

test: build format-check
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BUILD)/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DWATERLINE_BENCH=ON $(CMAKE_ARGS)
	cmake --build $(BUILD)/bench -j $(JOBS)
	@set -e; for b in $(BUILD)/bench/bin/bench_*; do echo "== $$b"; $$b $(BENCH_ARGS); done

test-asan: deps
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DWATERLINE_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" $(CMAKE_ARGS)
	cmake --build $(BUILD)/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(BUILD)/asan --output-on-failure -j $(JOBS)

# libFuzzer targets, built with clang: `make fuzz` builds them into build/fuzz/bin/.
fuzz: deps
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWATERLINE_FUZZ=ON \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWATERLINE_FOLDERS="foundation;image;base64;json;settings;reachability;http;effect" $(CMAKE_ARGS)
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target \
	  $$(ninja -C $(BUILD)/fuzz -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): phony.*/\1/p' | sort -u)

# The house dialect is .clang-format: `make format` applies it, `make test` checks it.
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format: deps
	@clang-format -i $(SOURCES)

format-check: deps
	@clang-format --dry-run -Werror $(SOURCES) || { echo "Some files differ from .clang-format: run make format"; exit 1; }

# `make install PREFIX=/usr DESTDIR=/tmp/stage`: the programs, their pictures, manual
# pages and desktop files, and the libraries for other projects.
PREFIX  ?= /usr/local
DESTDIR ?=

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Debian packages (waterline and waterline-dev) into $(BUILD)/packages/.
deb: build
	cd $(BUILD) && cpack -G DEB -B "$(CURDIR)/$(BUILD)/packages"

# Checks the packages: their files, their dependencies, and the programs run from them.
deb-test: build
	ctest --test-dir $(BUILD) --output-on-failure -L package

clean:
	rm -rf $(BUILD)
