# Firmware toolchain for the x64 DXE phase: BoardDxe.efi (PE32+).
set(BOARD_FIRMWARE_ARCH x64)
set(BOARD_FIRMWARE_TRIPLE x86_64-unknown-windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-uefi-common.cmake)
