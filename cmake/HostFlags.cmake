# Flags for everything compiled for the host: warnings as errors, and the
# sanitizers when BOARD_SANITIZE is on.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow -Wconversion -Wno-sign-conversion)
if(BOARD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
# The fuzzing build instruments the host code for libFuzzer's coverage; only
# the harnesses link libFuzzer. The host-built modules get everything
# libFuzzer can use (edge counters with their PC table, comparison and
# indirect-call tracing): the engine loads each once per process and never
# unloads it (RTLD_NODELETE), so the counters libFuzzer registers at load
# stay valid; their callbacks bind to the harness, which exports them. The
# rest of the host code is instrumented too, except what
# fuzz_coverage_ignorelist.txt leaves out: the simulator's bookkeeping (trace
# text, report, board-file output, scoreboard, the engines' plumbing), so
# that a new feature is a new firmware path or a new model decision. The
# list's digest is a definition, so that editing it rebuilds (and misses the
# compiler cache for) every instrumented object. Optimised as fuzzing builds
# are (-O1): the unoptimised inline library code would cost most of a run.
if(BOARD_FUZZ)
  set(board_fuzz_ignorelist ${CMAKE_CURRENT_LIST_DIR}/fuzz_coverage_ignorelist.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${board_fuzz_ignorelist})
  file(MD5 ${board_fuzz_ignorelist} board_fuzz_ignorelist_digest)
  # The models a boot runs through (targets with BOARD_FUZZ_MODEL) count
  # edges only: their comparisons would fill the value profile
  # (-use_value_profile=1) with the simulator's own address decoding, and
  # the profile is there for the firmware's comparisons (and the parsers'
  # of the other harnesses).
  # The host modules stay unoptimised: each of their edges is then one
  # branch of the source, once (no inlined copies whose state depends on the
  # caller), as the module edge report (scripts/fuzz.sh edges) lists them.
  add_compile_options(
    "$<$<NOT:$<OR:$<BOOL:$<TARGET_PROPERTY:BOARD_HOST_MODULE>>,$<BOOL:$<TARGET_PROPERTY:BOARD_FUZZ_UNINSTRUMENTED>>>>:-fsanitize-coverage-ignorelist=${board_fuzz_ignorelist}>"
    -DBOARD_FUZZ_IGNORELIST=${board_fuzz_ignorelist_digest})
  # Targets with BOARD_FUZZ_UNINSTRUMENTED have no coverage to ignore.
  # A fuzzing service's build (BOARD_FUZZ_ENGINE) brings its own
  # instrumentation and optimisation in its flags; the ignorelist above
  # still keeps the bookkeeping out of its feedback.
  if(NOT BOARD_FUZZ_ENGINE)
    add_compile_options(
      $<IF:$<BOOL:$<TARGET_PROPERTY:BOARD_HOST_MODULE>>,-O0,-O1>
      "$<IF:$<BOOL:$<TARGET_PROPERTY:BOARD_FUZZ_MODEL>>,-fsanitize-coverage=inline-8bit-counters$<COMMA>pc-table,-fsanitize=fuzzer-no-link>")
  endif()
endif()

# Flags for the board's module sources when they are compiled for the host:
# the same freestanding discipline as the firmware images.
set(BOARD_MODULE_HOST_FLAGS
    -ffreestanding -nostdinc++ -fno-exceptions -fno-rtti -fno-threadsafe-statics -Wglobal-constructors
    -Werror=global-constructors)
# A fuzzing service's UBSan names vptr explicitly, which clang refuses beside -fno-rtti.
list(APPEND BOARD_MODULE_HOST_FLAGS -fno-sanitize=vptr)

# board_host_module(NAME SOURCES...): a module's sources as a loadable host
# library, build/modules/NAME.so, that the native engine loads once and
# restarts for every boot. The register and CPU seams stay undefined and bind at load time
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
