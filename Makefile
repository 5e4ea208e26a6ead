# Front for the CMake build. `make demo` and `make test` are all a new user needs.
BUILD := build
SANITIZE_BUILD := build-sanitize
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test test-sanitize clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	@cp examples/ANSYS_Model.cdb $(BUILD)/demo/
	@cd $(BUILD)/demo && ../cdb2bem
	@echo "Translated examples/ANSYS_Model.cdb:"
	@echo "  solver input file: $(CURDIR)/$(BUILD)/demo/input.dat"
	@echo "  plot file:         $(CURDIR)/$(BUILD)/demo/input.plt"

# ctest shows skipped tests without their reasons; the JUnit report keeps
# them, and the list ends the output. The status stays ctest's.
test: build
	@rm -f $(BUILD)/ctest-results.xml
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --output-junit ctest-results.xml; \
	  status=$$?; sh ../tests/list_skipped.sh ctest-results.xml; exit $$status

test-sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCDB2BEM_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)

# Benchmark: Release build in build-bench/, models cached in bench/models/,
# figures written to bench/RESULTS.md. BENCH_ARGS passes options, e.g.
# `make bench BENCH_ARGS=--callgrind` or `BENCH_ARGS="--sizes 10k,1M"`.
.PHONY: bench
bench:
	python3 bench/run_bench.py $(BENCH_ARGS)

# Fuzzing with libFuzzer (clang): `make fuzz` builds the targets of
# tests/fuzz/ in $(FUZZ_BUILD) and runs each for FUZZ_SECONDS; any finding
# stops it, and its input is kept under $(FUZZ_BUILD)/artifacts/.
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_whole_run fuzz_free_form fuzz_fixed_fields fuzz_exponent_round_trip
.PHONY: fuzz
fuzz:
	cmake -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in $(FUZZ_TARGETS); do \
	  echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
	  tests/fuzz/run_target.sh $(FUZZ_BUILD) $$target $(FUZZ_SECONDS) || exit 1; \
	done
