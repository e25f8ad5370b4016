# The two entry points: `make run` boots the built images on the shipped
# board, `make test` runs the whole test suite. Both install what is missing.
.PHONY: deps configure build run test size fuzz format clean

JOBS ?= $(shell nproc)

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default -j $(JOBS)

# The simulator's report stands alone: the build speaks only when it fails.
run: configure
	@cmake --build --preset default -j $(JOBS) >build/build.log 2>&1 || { cat build/build.log; exit 1; }
	@./build/tools/boardsim/boardsim $(ARGS)

test: build
	@ctest --preset default -j $(JOBS) $(CTEST_ARGS)

# Each libFuzzer harness in turn, FUZZ_SECONDS each (scripts/fuzz.sh).
FUZZ_SECONDS ?= 60
fuzz: deps
	@./scripts/fuzz.sh all $(FUZZ_SECONDS)

size: build
	@cmake --build --preset default --target size

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-fuzz
