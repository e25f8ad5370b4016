# Firmware toolchain for the IA-32 PEI phase: BoardPei (PE32, then TE).
set(BOARD_FIRMWARE_ARCH ia32)
set(BOARD_FIRMWARE_TRIPLE i686-unknown-windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-uefi-common.cmake)
