# A thin layer over CMake: the commands a user and CI need.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test clean

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

clean:
	rm -rf $(BUILD)
