# Front for the CMake build. `make demo` and `make test` are all a new user
# needs: each first installs what is missing (scripts/install-build-deps.sh).
# The program and the tests share one Release tree, $(BUILD): the core
# library that the demo's program is linked from is the one the tests use.
BUILD := build
SANITIZE_BUILD := build-sanitize
TSAN_BUILD := build-tsan
WINDOWS_BUILD := build-windows
PREFIX ?= /usr/local
MAKEFLAGS += --no-print-directory
JOBS := $(shell nproc 2>/dev/null || echo 2)
DEPS := scripts/install-build-deps.sh
# The package maintainer's address, when given (`make package
# CDB2BEM_MAINTAINER=me@example.com`, or in the environment).
CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release \
  $(if $(CDB2BEM_MAINTAINER),-DCDB2BEM_MAINTAINER="$(CDB2BEM_MAINTAINER)") >/dev/null

.PHONY: all build program demo install uninstall package test test-full test-sanitize test-tsan clean \
  windows windows-package test-windows

all: build

# The program and the tests.
build:
	@$(DEPS) test
	@$(CONFIGURE) -DCDB2BEM_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# The program and its compressed manual page and changelog, without
# GoogleTest; the tests are built too when GoogleTest is installed.
program:
	@$(DEPS) build
	@$(CONFIGURE) -DCDB2BEM_TESTS=AUTO
	@cmake --build $(BUILD) -j $(JOBS) --target cdb2bem compressed_docs

# The example model translated in a scratch directory, and what came of it.
demo: program
	@scripts/demo.sh $(BUILD)/cdb2bem examples/ANSYS_Model.cdb $(BUILD)/demo

# bin/cdb2bem, share/man/man1/cdb2bem.1.gz and share/doc/cdb2bem/ under
# $(DESTDIR)$(PREFIX).
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# What `make install` put there removed again (the same PREFIX and DESTDIR).
uninstall:
	rm -f "$(DESTDIR)$(PREFIX)/bin/cdb2bem" "$(DESTDIR)$(PREFIX)/share/man/man1/cdb2bem.1.gz"
	rm -rf "$(DESTDIR)$(PREFIX)/share/doc/cdb2bem"

# The Debian package, $(BUILD)/cdb2bem_<version>_<architecture>.deb.
package: program
	@$(DEPS) package
	rm -f $(BUILD)/*.deb
	cd $(BUILD) && cpack -G DEB >/dev/null
	@ls $(BUILD)/*.deb

# ctest shows skipped tests without their reasons; the JUnit report keeps
# them, and the list ends the output. The status stays ctest's.
RUN_TESTS = @rm -f $(BUILD)/ctest-results.xml; \
  cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit ctest-results.xml; \
  status=$$?; sh ../tests/list_skipped.sh ctest-results.xml; exit $$status

# The tests, with what they need to run: a few that read the outputs back
# with VTK or meshio, or render the manual page, are skipped, saying why,
# when those are absent.
test: build
	$(RUN_TESTS)

# The tests with every optional package installed first (VTK's and meshio's
# python modules, groff), so that none is skipped for want of one; CI runs it.
test-full:
	@$(DEPS) test-full
	@$(MAKE) build
	$(RUN_TESTS)

test-sanitize:
	@$(DEPS) test
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCDB2BEM_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# The tests, the threads of the program among them, under ThreadSanitizer;
# any report fails the run.
test-tsan:
	@$(DEPS) test
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCDB2BEM_TSAN=ON >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 exitcode=66" ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(WINDOWS_BUILD)

# The Windows program, $(WINDOWS_BUILD)/cdb2bem.exe, cross-built with MinGW-w64.
windows:
	@$(DEPS) windows
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DCDB2BEM_TESTS=OFF -DCDB2BEM_WINDOWS_UNIT_TESTS=ON >/dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)

# $(WINDOWS_BUILD)/cdb2bem-<version>-win64.zip: the .exe, the README, the
# licence, the manual as text and the example model.
windows-package: windows
	@scripts/package-windows.sh $(WINDOWS_BUILD)

# The Windows side of src/system unit-tested under Wine (with files held by
# another program and Explorer's console), then the .exe under Wine against
# the Linux program: every case gives the same status, console text and
# output bytes; then the .exe alone: Ctrl-C, a model on another drive, odd
# model names, and a refusal line run 200 times under load.
test-windows: windows program
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target system_windows_tests
	tests/windows/run_wine_tests.py $(WINDOWS_BUILD)/cdb2bem.exe $(BUILD)/cdb2bem \
	  $(WINDOWS_BUILD)/system_windows_tests.exe

# Benchmark: Release build in build-bench/, models cached in bench/models/,
# figures written to bench/RESULTS.md. BENCH_ARGS passes options, e.g.
# `make bench BENCH_ARGS=--callgrind` or `BENCH_ARGS="--sizes 10k,1M"`.
.PHONY: bench bench-busy
bench:
	python3 bench/run_bench.py $(BENCH_ARGS)

# Only the busy section: the 1M model's default run against -j 1 beside busy
# processes, figures printed, not recorded.
bench-busy:
	python3 bench/run_bench.py --sizes 1M --sections busy --no-record $(BENCH_ARGS)

# Fuzzing with libFuzzer (clang): `make fuzz` builds the targets of
# tests/fuzz/ in $(FUZZ_BUILD) and runs each for FUZZ_SECONDS, one per core
# at a time (each target's log in $(FUZZ_BUILD)/TARGET.log); any finding
# stops it, prints the log, and its input is kept under $(FUZZ_BUILD)/artifacts/.
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_whole_run fuzz_check fuzz_free_form fuzz_fixed_fields fuzz_exponent_round_trip
.PHONY: fuzz
fuzz:
	@$(DEPS) fuzz
	cmake -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@printf '%s\n' $(FUZZ_TARGETS) | xargs -P $(JOBS) -I '{}' sh -c \
	  'log=$(FUZZ_BUILD)/{}.log; echo "fuzzing {} for $(FUZZ_SECONDS) s"; \
	   if tests/fuzz/run_target.sh $(FUZZ_BUILD) {} $(FUZZ_SECONDS) >"$$log" 2>&1; \
	   then echo "{}: no finding, $$(grep "^Done" "$$log" | tail -1)"; \
	   else cat "$$log"; echo "{}: stopped (log above); a finding is kept under $(FUZZ_BUILD)/artifacts/{}/"; exit 255; fi'
