# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# Two commands set everything up: `make run` and `make test`. Both install what is
# missing (scripts/install-deps), build, and then start the program or run every
# test. `make run` fetches and builds only what running needs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
# CI builds with warnings as errors.
WERROR     ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS ?=

.PHONY: all deps run-deps package-deps build program run test test-asan test-tsan test-pcre2 test-bare \
	bench soak fuzz clean package

all: build

deps:
	@scripts/install-deps test

run-deps:
	@scripts/install-deps run

package-deps:
	@scripts/install-deps package

build: deps
	cmake -S . -B $(BUILD) -DQUILL_WERROR=$(WERROR) -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The program alone: no test, bench or test tool.
program: run-deps
	cmake -S . -B $(BUILD) -DQUILL_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target irc-quillmere

run: program
	exec $(BUILD)/shell/irc-quillmere

# irc-quillmere_<version>_<arch>.deb in the build folder, built by debian/
# with only what building the package needs.
package: package-deps
	cmake -S . -B $(BUILD) -DQUILL_WERROR=$(WERROR) $(CMAKE_FLAGS)
	scripts/build-deb $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# The core alone (no window), under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DQUILL_SANITIZE=ON -DQUILL_SHELL=OFF -DQUILL_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure --no-tests=error -LE 'slow|fuzz' -j $(JOBS)

# The core alone under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DQUILL_TSAN=ON -DQUILL_SHELL=OFF -DQUILL_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(TSAN_BUILD) --output-on-failure --no-tests=error -LE 'slow|fuzz' -j $(JOBS)

# The regular-expression and import tests once more against PCRE2, whichever
# engine the main build took.
PCRE2_BUILD ?= build-pcre2
ENGINE_TESTS = $(basename $(notdir $(wildcard tests/regexp/*_test.cpp tests/pool/*_test.cpp)))
test-pcre2: deps
	cmake -S . -B $(PCRE2_BUILD) -DQUILL_PCRE=2 -DQUILL_SHELL=OFF -DQUILL_WERROR=$(WERROR) -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(PCRE2_BUILD) -j $(JOBS) --target $(ENGINE_TESTS) MalformedListFiles_test
	ctest --test-dir $(PCRE2_BUILD)/tests/regexp --output-on-failure --no-tests=error -LE 'slow|fuzz' -j $(JOBS)
	ctest --test-dir $(PCRE2_BUILD)/tests/pool --output-on-failure --no-tests=error -LE 'slow|fuzz' -j $(JOBS)

# The README's steps on a bare Debian (RELEASE=trixie or bookworm), made here
# with mmdebstrap: make test and make package in one root, the package's
# install, start and purge in a second. Downloads about 1.5 GB each time.
RELEASE ?= trixie
test-bare:
	scripts/test-bare $(RELEASE) $(BUILD)/bare

bench: build
	@if [ -x bench/run ]; then bench/run $(BUILD); else echo "no benchmarks yet"; fi

soak: build
	@if [ -x bench/soak ]; then bench/soak $(BUILD); else echo "no soak run yet"; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(PCRE2_BUILD)

# Every libFuzzer target for a bounded run each, in a clang build of its own.
FUZZ_BUILD ?= build-fuzz
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DQUILL_FUZZ=ON -DQUILL_SHELL=OFF -DBUILD_TESTING=ON \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target scan_fuzz number_text_fuzz line_reader_fuzz
	ctest --test-dir $(FUZZ_BUILD) -L fuzz --output-on-failure
