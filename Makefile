# A thin layer over CMake: the commands a user and CI need.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# Builds the compiler and compiles the shipped example.
demo: build
	cd examples && ../$(BUILD)/src/vorn demo.vs demo.bin

# Builds the compiler and every test, and runs them all.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Times the compiler against cat on a typical script and a 50 MB one.
bench: build
	python3 bench/bench.py --vorn $(BUILD)/src/vorn

clean:
	rm -rf $(BUILD)
