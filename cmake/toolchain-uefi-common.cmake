# Shared part of the two firmware toolchains: Debian's clang compiles for a
# Windows triple (so it emits COFF objects and the UEFI calling conventions)
# and lld-link links the PE images. The including file sets
# BOARD_FIRMWARE_TRIPLE and BOARD_FIRMWARE_ARCH first.
#
# The triple goes into the flags: CMAKE_CXX_COMPILER_TARGET with a Windows
# triple makes CMake treat clang++ as a different front end and drop it.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_FLAGS_INIT "--target=${BOARD_FIRMWARE_TRIPLE}")

# There is no C runtime to link a test program against: CMake's compiler
# checks build a static library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

find_program(CMAKE_AR NAMES llvm-ar llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib llvm-ranlib-14 REQUIRED)
find_program(BOARD_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

# Nothing from the host system belongs in an image.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
