# The two commands of the README: `make test` and `make demo`. Each installs what
# is missing, configures and builds what it needs, and runs.
BUILD   := build
HOST    := $(BUILD)/host
WIN     := $(BUILD)/win
BENCH   := $(BUILD)/bench
BENCHWIN := $(BUILD)/bench-win
FUZZ    := $(BUILD)/fuzz
FUZZ_SECONDS ?= 60
CMAKE   := cmake -G Ninja -Wno-dev
# The compiler cache names files relative to the checkout, so that another
# checkout of the same sources finds them cached.
export CCACHE_BASEDIR := $(CURDIR)

COVERAGE := $(BUILD)/coverage

.PHONY: all deps build host win test demo bench fuzz coverage clean

all: build

deps:
	@tools/install-deps

$(HOST)/build.ninja: | deps
	$(CMAKE) -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug -DDRAVIN_SANITIZE=ON

$(WIN)/build.ninja: | deps
	$(CMAKE) -S . -B $(WIN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake

$(BENCH)/build.ninja: | deps
	$(CMAKE) -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DDRAVIN_SANITIZE=OFF

host: deps $(HOST)/build.ninja
	cmake --build $(HOST)

win: deps $(WIN)/build.ninja
	cmake --build $(WIN)

build: host win

test: build
	@tools/run-tests

$(BENCHWIN)/build.ninja: | deps
	$(CMAKE) -S . -B $(BENCHWIN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64.cmake

# Only the programs the benchmark scripts (bench/*.py, bench/*.sh) run; the
# Windows ones run under Wine.
bench: deps $(BENCH)/build.ninja $(BENCHWIN)/build.ninja
	cmake --build $(BENCH) --target bench_programs
	cmake --build $(BENCHWIN) --target bench_programs
	@DRAVIN_BENCH_WIN=$(CURDIR)/$(BENCHWIN) tools/run-benchmarks $(BENCH)

$(FUZZ)/build.ninja: | deps
	@tools/install-deps fuzz
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug \
	  -DDRAVIN_SANITIZE=ON -DDRAVIN_LIBFUZZER=ON

# Real fuzzing with libFuzzer, FUZZ_SECONDS per target.
fuzz: $(FUZZ)/build.ninja
	cmake --build $(FUZZ) --target fuzz_all
	@tools/run-fuzzers $(FUZZ) $(FUZZ_SECONDS)

$(COVERAGE)/build.ninja: | deps
	$(CMAKE) -S . -B $(COVERAGE) -DCMAKE_BUILD_TYPE=Debug -DDRAVIN_COVERAGE=ON

# The host tree built for coverage, its tests run, and line and branch
# coverage of src/ printed per folder (platform/win32 cannot run there).
coverage: deps $(COVERAGE)/build.ninja
	cmake --build $(COVERAGE)
	@find $(COVERAGE) -name '*.gcda' -delete
	-@ctest --test-dir $(COVERAGE) -j 2 >$(COVERAGE)/ctest.log 2>&1 || \
	  echo "coverage: some tests failed, see $(COVERAGE)/ctest.log"
	@tools/coverage-report $(COVERAGE) src

demo: win
	@tools/demo

clean:
	rm -rf $(BUILD)
