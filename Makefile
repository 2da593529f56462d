# Entry points: make (build), make test (every test, ends with CTest's summary), make demo.
JOBS ?= 2
MAKEFLAGS += --no-print-directory
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 15
CMAKE_FLAGS ?=

.PHONY: all build test unit asan fuzz e2e demo clean format bootstrap check-install

all: build

bootstrap:
	@sh tools/bootstrap

build: bootstrap
	cmake -S . -B $(BUILD) -DWERROR=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

# The sanitizer build runs the unit tests first, then every fuzz target for a bounded time;
# the full suite runs last so that its summary closes the output.
test: build asan fuzz
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure

asan: bootstrap
	cmake -S . -B $(ASAN_BUILD) -DWERROR=ON -DSANITIZE=ON -DBUILD_BENCH=OFF >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ctest -j$(JOBS) -L unit --output-on-failure

# Each fuzz target runs FUZZ_SECONDS with a fixed seed over its corpus in fuzz/corpus/<name>/;
# a crash fails the build and leaves its input under $(FUZZ_BUILD)/artifacts/.
fuzz: bootstrap
	cmake -S . -B $(FUZZ_BUILD) -DFUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	sh tools/runfuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

unit: build
	cd $(BUILD) && ctest -j$(JOBS) -L unit --output-on-failure

e2e: build
	cd $(BUILD) && ctest -j$(JOBS) -L e2e --output-on-failure

# Installs the build into a temporary prefix and builds examples/ against it (also part of
# make test, as the CTest test install.check).
check-install: build
	sh tools/check-install $(BUILD)

demo: build
	bash tools/demo

format:
	clang-format -i common/*.cpp common/*.h setup/*.cpp setup/*.h bench/*.cpp $(wildcard fuzz/*.cpp tools/*.cpp)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
