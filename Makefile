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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCDB2BEM_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
