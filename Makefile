# The two entry points: `make run` boots the built images on the shipped
# board, `make test` runs the whole test suite. Both install what is missing.
.PHONY: deps configure build run test size format clean

JOBS ?= $(shell nproc)

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake --preset default >/dev/null

build: configure
	@cmake --build --preset default -j $(JOBS)

run: build
	@./build/tools/boardsim/boardsim $(ARGS)

test: build
	@ctest --preset default -j $(JOBS) $(CTEST_ARGS)

size: build
	@cmake --build --preset default --target size

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
