# The two entry points: `make run` boots the built images on the shipped
# board, `make test` runs the whole test suite. Both install what is missing.
.PHONY: deps configure build run test size ovmf format clean

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

size: build
	@cmake --build --preset default --target size

# Debian's OVMF with BoardPei and BoardDxe in it, booted in QEMU on this
# terminal; the probe applications lie on the FAT drive (fs0:).
ovmf: build
	@./tests/ovmf/boot_ovmf.sh interactive build/firmware/ovmf/OVMF_CODE_4M.board.fd \
	  build/firmware/OvmfProbeApp.efi build/firmware/OvmfProbeAppShipped.efi

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
