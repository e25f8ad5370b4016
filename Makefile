# The two entry points: `make run` boots the built images on the shipped
# board, `make test` runs the whole test suite. Both install what is missing.
.PHONY: deps configure build run test test-slow size bench coverage fuzz-coverage ovmf ovmf-check ovmf-debug fuzz format clean

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

# The checks too slow for every run (label slow: the fuzzing service's UBSan
# build); CI runs them after make test.
test-slow: build
	@ctest --test-dir build -L slow --output-on-failure $(CTEST_ARGS)

# Each libFuzzer harness in turn, FUZZ_SECONDS each (scripts/fuzz.sh).
FUZZ_SECONDS ?= 60
fuzz: deps
	@./scripts/fuzz.sh all $(FUZZ_SECONDS)

# The edges of BoardDxeHost and BoardPeiHost the committed boot corpus
# reaches, each one it does not listed; fails on one that
# tests/fuzz/edge_exceptions.txt does not explain.
.PHONY: fuzz-edges
fuzz-edges: deps
	@./scripts/fuzz.sh build >/dev/null
	@./scripts/fuzz.sh edges

size: build
	@cmake --build --preset default --target size

# Debian's OVMF with BoardPei, BoardDxe and the PEI probe in it, booted in
# QEMU on this terminal: the PEI probe's report shows the modules ran; the
# probe applications lie on the FAT drive (fs0:).
ovmf: configure
	@cmake --build --preset default -j $(JOBS) >build/build.log 2>&1 || { cat build/build.log; exit 1; }
	@./tests/ovmf/boot_ovmf.sh interactive build/tests/ovmf/OVMF_CODE_4M.board-probes.fd \
	  build/firmware/OvmfProbeApp.efi build/firmware/OvmfProbeAppShipped.efi

# One boot of the patched image with the PEI probe and the probe application
# (shipped board's registers): both reports and a verdict; exits by itself.
ovmf-check: configure
	@cmake --build --preset default -j $(JOBS) >build/build.log 2>&1 || { cat build/build.log; exit 1; }
	@./tests/ovmf/ovmf_check.sh build/ovmf-check build/tests/ovmf/OVMF_CODE_4M.board-probes.fd \
	  build/firmware/OvmfProbeAppShipped.efi

# The patched image in QEMU, stopped at its first instruction, with QEMU's
# gdb stub on 127.0.0.1:$(GDB_PORT); build/ovmf-debug.gdb loads BoardPei.debug
# and BoardDxe.debug where OVMF runs the modules and stops at each entry
# point in turn: gdb -x build/ovmf-debug.gdb
GDB_PORT ?= 1234
ovmf-debug: configure
	@cmake --build --preset default -j $(JOBS) >build/build.log 2>&1 || { cat build/build.log; exit 1; }
	@python3 ./tests/ovmf/ovmf_debug.py interactive build/firmware/ovmf/OVMF_CODE_4M.board.fd \
	  build/firmware build/ovmf-debug.gdb $(GDB_PORT)

# The figures of the shipped board on an optimised build without sanitizers
# (build-release): image bytes, instructions, register accesses, boots per
# second, beside the accepted ones in bench/baseline.json. Writes
# build-release/bench.json; copy it over the baseline to accept new figures.
bench: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) >build-release/build.log 2>&1 || { cat build-release/build.log; exit 1; }
	@./build-release/tools/bench/board_bench --images build-release/firmware --baseline bench/baseline.json \
		--out build-release/bench.json

# Which instructions of the shipped images the emulated scenarios execute:
# build-release/coverage/report.md, per image and function, with every range
# never executed and which scenarios reach which functions. Fails on a range
# never executed that tests/coverage/exceptions.txt does not explain.
coverage: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) >build-release/build.log 2>&1 || { cat build-release/build.log; exit 1; }
	@cmake -DBUILD_DIR=$(CURDIR)/build-release -DOBJDUMP=$$(command -v llvm-objdump || command -v llvm-objdump-14) \
		-DJOBS=$(JOBS) -P tests/coverage/run_coverage.cmake

# The same for the emulated boot harness's committed corpus and regression
# inputs (tests/fuzz/corpus/emulated_boot, tests/fuzz/regressions/emulated_boot):
# build-release/coverage/fuzz-report.md. Fails on any range of instructions
# the emulated scenarios execute that the corpus does not, unless
# tests/coverage/fuzz_exceptions.txt gives the reason the corpus cannot.
fuzz-coverage: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) >build-release/build.log 2>&1 || { cat build-release/build.log; exit 1; }
	@cmake -DBUILD_DIR=$(CURDIR)/build-release -DOBJDUMP=$$(command -v llvm-objdump || command -v llvm-objdump-14) \
		-DJOBS=$(JOBS) -DFUZZ=ON -P tests/coverage/run_coverage.cmake

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build build-release build-fuzz
