# A thin layer over CMake: the commands a user and CI need.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build demo test release bench lsp-bench clean package vsix bench-project fmt-bench fuzz-lsp fuzz-lsp-build playground

# The packages each target needs; what is missing is installed with apt-get (as root), or
# the apt-get line to run is printed (status 2).
PREREQUISITES = scripts/prerequisites install

all: build

# make demo and make test build without link-time optimisation: it takes longer than it saves
# there. The package and the benchmarks are built with it, in a folder of their own.
RELEASE_BUILD ?= build-release

# Who asks for the packages, in the one line that says what is installed or missing.
WHO = make build
test: WHO = make test

build:
	@$(PREREQUISITES) test "$(WHO)"
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVORN_LTO=OFF -DVORN_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# Builds the compiler alone (nothing but g++, cmake and make needed) and compiles the
# shipped example.
demo:
	@$(PREREQUISITES) demo "make demo"
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVORN_LTO=OFF -DVORN_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target vorn
	cd examples && ../$(BUILD)/src/vorn demo.vs demo.bin

# Builds every tool and every test, and runs them all.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

release:
	@$(PREREQUISITES) test "make package"
	cmake -S . -B $(RELEASE_BUILD) -DCMAKE_BUILD_TYPE=Release -DVORN_LTO=ON -DVORN_TESTS=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

# The Debian package of every tool: $(RELEASE_BUILD)/vorn_<version>_amd64.deb (CPack's DEB
# generator), built with link-time optimisation.
package: release
	cd $(RELEASE_BUILD) && cpack -G DEB

# The VS Code extension: $(BUILD)/vorn-<version>.vsix, bundled by esbuild and packed by vsce
# (both installed from npm, as editors/vscode/package-lock.json pins them).
VSIX_VERSION = $(shell node -p "require('./editors/vscode/package.json').version" 2>/dev/null)

vsix:
	@command -v npm >/dev/null 2>&1 || { echo "make vsix needs node and npm"; exit 1; }
	cd editors/vscode && { cmp -s package-lock.json node_modules/.vorn-lock || \
		{ npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.vorn-lock; }; }
	mkdir -p $(BUILD)
	cd editors/vscode && npm run --silent package -- --out $(abspath $(BUILD))/vorn-$(VSIX_VERSION).vsix

# The playground: a static folder, $(WEB_BUILD)/playground/, that any web server can serve
# (the toolchain compiled to WebAssembly with emscripten, the editor bundled by esbuild from
# web/playground/package-lock.json). Without emscripten or npm it says so in one line and
# builds nothing.
WEB_BUILD ?= build-web

playground:
	@JOBS=$(JOBS) web/playground/build.sh $(WEB_BUILD)

# Times the compiler against cat on a typical script and a 50 MB one.
bench: release
	python3 bench/bench.py --vorn $(RELEASE_BUILD)/src/vorn

# Times vorn-check --project on 1,000 top scripts against a loop of one vorn per script, and
# the project model's cost of one change to a file that all of them include.
bench-project: release
	python3 bench/project_bench.py --bin $(RELEASE_BUILD)/src

# Times vorn-lsp from a change of a document to its diagnostics, on 300 and 5,000 lines, and
# its semantic tokens and formatting for the 5,000 lines (budget: 20 ms each); then on a project of 1,000 top
# scripts: opening it, a change of a file all of them include, references to and rename of a
# name used 10,000 times, and the server's peak memory.
lsp-bench: release
	python3 bench/lsp_bench.py --lsp $(RELEASE_BUILD)/src/vorn-lsp
	python3 bench/tokens_bench.py --lsp $(RELEASE_BUILD)/src/vorn-lsp
	python3 bench/lsp_format_bench.py --lsp $(RELEASE_BUILD)/src/vorn-lsp
	python3 bench/lsp_project_bench.py --lsp $(RELEASE_BUILD)/src/vorn-lsp

# Times vorn-fmt on a 5,000-line script (budget: 20 ms).
fmt-bench: release
	python3 bench/fmt_bench.py --vorn-fmt $(RELEASE_BUILD)/src/vorn-fmt

# The same tests against a build with AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the test it shows up in (a report goes to standard error, or aborts the run).
ASAN_BUILD ?= build-asan
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

sanitize-test:
	@$(PREREQUISITES) test "make sanitize-test"
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# Fuzzing the whole compiler in-process with libFuzzer (needs clang), for FUZZ_SECONDS.
# The seeds are the end-to-end cases, made afresh each time, and the hand-made fuzz/seeds;
# what the fuzzer finds new is kept in $(FUZZ_BUILD)/corpus, and a crashing, leaking or
# hanging input is written to $(FUZZ_BUILD)/artifacts/. The fuzzer works in a folder of
# its own, so every path it is given is absolute.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS ?=
FUZZ_DIR = $(abspath $(FUZZ_BUILD))

fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DVORN_FUZZ=ON -DVORN_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_compiler

fuzz: fuzz-build
	python3 fuzz/make_corpus.py tests/cases $(FUZZ_DIR)/seed-corpus
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/artifacts
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	$(FUZZ_DIR)/fuzz/fuzz_compiler -max_total_time=$(FUZZ_SECONDS) -timeout=5 -detect_leaks=1 \
		-print_final_stats=1 -dict=$(abspath fuzz/vorn.dict) \
		-artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_FLAGS) \
		$(FUZZ_DIR)/corpus $(FUZZ_DIR)/seed-corpus $(abspath fuzz/seeds)

# Fuzzing the language server's core in-process, on sessions of messages (fuzz/fuzz_lsp.cpp),
# for FUZZ_SECONDS, from the seeds in fuzz/lsp-seeds (protocol test transcripts, made by
# fuzz/make_lsp_seeds.py). A session ends on the first broken rule; each input is held to
# LSP_FUZZ_TIMEOUT seconds and the process to LSP_FUZZ_RSS_MB of memory.
LSP_FUZZ_TIMEOUT ?= 10
LSP_FUZZ_RSS_MB ?= 2048

fuzz-lsp-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DVORN_FUZZ=ON -DVORN_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_lsp

fuzz-lsp: fuzz-lsp-build
	mkdir -p $(FUZZ_DIR)/lsp-corpus $(FUZZ_DIR)/lsp-artifacts
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	$(FUZZ_DIR)/fuzz/fuzz_lsp -max_total_time=$(FUZZ_SECONDS) -timeout=$(LSP_FUZZ_TIMEOUT) \
		-rss_limit_mb=$(LSP_FUZZ_RSS_MB) -malloc_limit_mb=$(LSP_FUZZ_RSS_MB) -max_len=65536 \
		-detect_leaks=1 -print_final_stats=1 -dict=$(abspath fuzz/lsp.dict) \
		-artifact_prefix=$(FUZZ_DIR)/lsp-artifacts/ $(FUZZ_FLAGS) \
		$(FUZZ_DIR)/lsp-corpus $(abspath fuzz/lsp-seeds)

# Line and branch coverage of src/ by the whole test suite, from a gcov build of its own.
COV_BUILD ?= build-cov

coverage:
	@command -v gcovr >/dev/null 2>&1 || { \
		echo "make coverage needs gcovr: apt-get install gcovr"; exit 1; }
	# A fresh folder each time: notes left by objects that are no longer built would be
	# merged with the current ones and confuse gcovr.
	rm -rf $(COV_BUILD)
	cmake -S . -B $(COV_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVORN_COVERAGE=ON
	cmake --build $(COV_BUILD) -j $(JOBS)
	cd $(COV_BUILD) && ctest -j $(JOBS) --output-on-failure; status=$$?; cd $(CURDIR) && \
	gcovr --root . --filter 'src/' --branches --exclude-unreachable-branches \
		--exclude-throw-branches $(COV_BUILD) > $(COV_BUILD)/branches.txt && \
	gcovr --root . --filter 'src/' --exclude-unreachable-branches --exclude-throw-branches \
		--print-summary $(COV_BUILD) && \
	echo "(branch coverage per file: $(COV_BUILD)/branches.txt)" && exit $$status

clean:
	rm -rf $(BUILD) $(RELEASE_BUILD) $(WEB_BUILD)
