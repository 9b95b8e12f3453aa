# Convenience wrapper around CMake. `make run FILE=doc.md`, `make test`, `make bench`.

# Python 3.13: python3.13 on PATH if it runs, else pyenv's 3.13 install; PYTHON=... overrides.
PYTHON ?= $(shell \
  if python3.13 -c 'import sys; assert sys.version_info[:2] == (3, 13)' >/dev/null 2>&1; then command -v python3.13; \
  elif command -v pyenv >/dev/null 2>&1 && [ -x "$$(pyenv root)/versions/3.13.0/bin/python3.13" ]; then echo "$$(pyenv root)/versions/3.13.0/bin/python3.13"; \
  else for p in $$HOME/.pyenv/versions/3.13*/bin/python3.13 /root/.pyenv/versions/3.13*/bin/python3.13; do [ -x "$$p" ] && { echo "$$p"; break; }; done; fi)

BUILD ?= build/release
SAN_BUILD ?= build/sanitize
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FILE ?= bench/sample.md

.PHONY: all build run test test-sanitize test-valgrind bench bench-scale clean check-python fuzz fuzz-build docs

all: build

check-python:
	@test -n "$(PYTHON)" || { echo "Python 3.13 not found; pass PYTHON=/path/to/python3.13" >&2; exit 1; }

$(BUILD)/CMakeCache.txt: | check-python
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$(PYTHON)" >&2

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The build's own output goes to stderr so that stdout holds only the XHTML.
run: $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) >&2
	@PYTHONPATH=$(BUILD)/python "$(PYTHON)" -m quenlor "$(FILE)"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(SAN_BUILD)/CMakeCache.txt: | check-python
	cmake -S . -B $(SAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DQUENLOR_SANITIZE=ON \
	  -DQUENLOR_BENCH=OFF -DPython3_EXECUTABLE="$(PYTHON)"

test-sanitize: $(SAN_BUILD)/CMakeCache.txt
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The C++ tests under valgrind's memcheck, from a plain -O1 -g build (no
# sanitizers: the two do not mix). Tests that assert wall-clock bounds are left
# out, since everything runs some 30 times slower under valgrind.
VG_BUILD ?= build/valgrind
VG_SKIP := AbbrTrie.ManyKeysCostLittle:TablesGrid.SizeStaysLinear:InlineScanner.AdversarialInputsStayFast

$(VG_BUILD)/CMakeCache.txt:
	cmake -S . -B $(VG_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DQUENLOR_PYTHON=OFF -DQUENLOR_BENCH=OFF

test-valgrind: $(VG_BUILD)/CMakeCache.txt
	@command -v valgrind >/dev/null 2>&1 || { echo "valgrind not found (apt-get install valgrind)" >&2; exit 1; }
	cmake --build $(VG_BUILD) -j $(JOBS) --target quenlor_tests
	valgrind --leak-check=full --error-exitcode=1 --errors-for-leak-kinds=definite,indirect \
	  $(VG_BUILD)/quenlor_tests --gtest_filter=-$(VG_SKIP)

bench/corpus/.done: bench/make_corpus.py
	rm -rf bench/corpus
	"$(PYTHON)" bench/make_corpus.py bench/corpus --mb 4
	touch $@

# The results are also drawn as a bar chart in bench/results.svg.
bench: build bench/corpus/.done
	{ $(BUILD)/quenlor_bench bench/corpus && \
	  PYTHONPATH=$(BUILD)/python "$(PYTHON)" bench/bench_python.py bench/corpus; } | tee $(BUILD)/bench.txt
	"$(PYTHON)" bench/chart.py $(BUILD)/bench.txt -o bench/results.svg

# ---- the dialect reference: docs/dialect.md rendered into docs/dialect.html ----
DOCS_OPTIONS := --standalone --css docs/dialect.css --math dollars --smart --tagfilter

docs: build
	PYTHONPATH=$(BUILD)/python "$(PYTHON)" -m quenlor convert docs/dialect.md -o docs $(DOCS_OPTIONS)

# Not run in CI: installs Debian's chromium when missing and screenshots the page
# into build/docs.png (DOCS_HEIGHT=... for more of it).
DOCS_HEIGHT ?= 2000
.PHONY: docs-check
docs-check: docs
	@command -v chromium >/dev/null 2>&1 || { \
	  if [ "$$(id -u)" = 0 ]; then apt-get update && apt-get install -y chromium; \
	  else sudo apt-get update && sudo apt-get install -y chromium; fi; }
	mkdir -p build
	chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
	  --no-first-run --hide-scrollbars --screenshot="$(CURDIR)/build/docs.png" --window-size=1200,$(DOCS_HEIGHT) \
	  "file://$(CURDIR)/docs/dialect.html" 2>build/chromium.log || { cat build/chromium.log >&2; exit 1; }
	@echo "screenshot: build/docs.png"

# Time and peak memory of one conversion of 1, 10 and 100 MB (the corpus repeated).
bench-scale: build bench/corpus/.done
	"$(PYTHON)" bench/scale.py $(BUILD)/quenlor_bench bench/corpus $(BUILD)/scale

clean:
	rm -rf build

# ---- fuzzing (clang's libFuzzer): make fuzz FUZZ_TIME=60 ----
# The target checks the converter's promises on every input (see fuzz/fuzz_quenlor.cpp).
# Inputs that broke them once live in fuzz/regressions/; `make fuzz-regressions` replays them.
FUZZ_TIME ?= 60
FUZZ_DIR ?= build/fuzz
FUZZ_BIN := $(FUZZ_DIR)/fuzz_quenlor
FUZZ_SOURCES := $(shell find src -name '*.cpp' -not -path 'src/python/*')
FUZZ_OBJS := $(patsubst src/%.cpp,$(FUZZ_DIR)/obj/%.o,$(FUZZ_SOURCES))
FUZZ_FLAGS := -std=c++20 -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined -Isrc

.PHONY: fuzz-toolchain fuzz-regressions
# clang with its libFuzzer runtime; installed from Debian's packages when missing.
fuzz-toolchain:
	@fuzz/need_libfuzzer.sh

$(FUZZ_DIR)/obj/%.o: src/%.cpp | fuzz-toolchain
	@mkdir -p $(dir $@)
	clang++ $(FUZZ_FLAGS) -fsanitize=fuzzer-no-link -MMD -MP -c $< -o $@

-include $(FUZZ_OBJS:.o=.d)

$(FUZZ_BIN): $(FUZZ_OBJS) fuzz/fuzz_quenlor.cpp | fuzz-toolchain
	clang++ $(FUZZ_FLAGS) -fsanitize=fuzzer fuzz/fuzz_quenlor.cpp $(FUZZ_OBJS) -o $@

fuzz-build: $(FUZZ_BIN)

fuzz: $(FUZZ_BIN) | check-python
	rm -rf $(FUZZ_DIR)/seeds && "$(PYTHON)" fuzz/make_seeds.py $(FUZZ_DIR)/seeds
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/crashes
	$(FUZZ_BIN) -max_total_time=$(FUZZ_TIME) -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	  -artifact_prefix=$(FUZZ_DIR)/crashes/ $(FUZZ_DIR)/corpus $(FUZZ_DIR)/seeds

fuzz-regressions: $(FUZZ_BIN)
	$(FUZZ_BIN) -runs=1 fuzz/regressions/*
