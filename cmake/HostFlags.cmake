# Flags for everything compiled for the host: warnings as errors, and the
# sanitizers when BOARD_SANITIZE is on.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wno-sign-conversion)
if(BOARD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
# The fuzzing build instruments the host code for libFuzzer's coverage; only
# the harnesses link libFuzzer. The host-built modules are loaded and unloaded
# at every boot, and libFuzzer keeps the coverage counters a library registers
# after it is gone: the modules get only comparison tracing, which registers
# nothing and feeds the fuzzer's value profile (-use_value_profile=1).
if(BOARD_FUZZ AND NOT BOARD_FUZZ_ENGINE)
  add_compile_options($<IF:$<BOOL:$<TARGET_PROPERTY:BOARD_HOST_MODULE>>,-fsanitize-coverage=trace-cmp,-fsanitize=fuzzer-no-link>)
endif()

# Flags for the board's module sources when they are compiled for the host:
# the same freestanding discipline as the firmware images.
set(BOARD_MODULE_HOST_FLAGS
    -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti -fno-threadsafe-statics -Wglobal-constructors
    -Werror=global-constructors)
# A fuzzing service's UBSan names vptr explicitly, which clang refuses beside -fno-rtti.
list(APPEND BOARD_MODULE_HOST_FLAGS -fno-sanitize=vptr)

# board_host_module(NAME SOURCES...): a module's sources as a loadable host
# library, build/modules/NAME.so, that the simulated board loads afresh for
# every boot. The register and CPU seams stay undefined and bind at load time
# to the simulated board's shared library; -Bsymbolic keeps each loaded copy
# on its own globals; -nostdlib keeps the module free of the C++ library.
function(board_host_module name)
  add_library(${name} MODULE ${ARGN})
  target_link_libraries(${name} PRIVATE board_include)
  target_compile_options(${name} PRIVATE ${BOARD_MODULE_HOST_FLAGS})
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic -nostdlib)
  set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/modules
                                           BOARD_HOST_MODULE ON)
endfunction()
