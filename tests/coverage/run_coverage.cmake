# Runs every emulated test of a build with image coverage recorded, then
# writes the coverage report and checks that every range of the images' code
# never executed is listed, with its reason, in exceptions.txt.
#
# With -DFUZZ=ON (`make fuzz-coverage`) it then replays the emulated boot
# harness's corpus and regression inputs with coverage recorded, and writes
# fuzz-report.md instead: what the corpus executes, and every range the
# emulated tests execute that the corpus does not, each of which fails it
# unless fuzz_exceptions.txt lists it with the reason the corpus cannot.
#
#   cmake -DBUILD_DIR=<build> -DOBJDUMP=<llvm-objdump> [-DJOBS=N] [-DFUZZ=ON] -P run_coverage.cmake
foreach(var BUILD_DIR OBJDUMP)
  if(NOT ${var})
    message(FATAL_ERROR "run_coverage.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT JOBS)
  set(JOBS 2)
endif()
set(out ${BUILD_DIR}/coverage)
file(REMOVE_RECURSE ${out}/blocks)
file(MAKE_DIRECTORY ${out}/blocks)

# The fuzzing harnesses' tests (fuzz_replay_*, fuzz_smoke_*) are not
# scenarios: the corpus is measured against the scenarios, not among them.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env BOARDSIM_COVERAGE_DIR=${out}/blocks
          ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD_DIR} -R emulated -E ^fuzz_ -j ${JOBS} --output-log ${out}/ctest.log
  OUTPUT_QUIET
  RESULT_VARIABLE tests_failed)
if(tests_failed)
  message(FATAL_ERROR "emulated tests failed while recording image coverage; see ${out}/ctest.log")
endif()

if(FUZZ)
  set(fuzz ${CMAKE_CURRENT_LIST_DIR}/../fuzz)
  file(REMOVE_RECURSE ${out}/fuzz-blocks)
  file(MAKE_DIRECTORY ${out}/fuzz-blocks)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env BOARDSIM_COVERAGE_DIR=${out}/fuzz-blocks ${BUILD_DIR}/tests/fuzz/emulated_boot_replay
            ${fuzz}/corpus/emulated_boot ${fuzz}/regressions/emulated_boot
    OUTPUT_FILE ${out}/fuzz-replay.log ERROR_FILE ${out}/fuzz-replay.log
    RESULT_VARIABLE replay_failed)
  if(replay_failed)
    message(FATAL_ERROR "replaying the emulated boot corpus failed; see ${out}/fuzz-replay.log")
  endif()
  execute_process(
    COMMAND ${BUILD_DIR}/tools/coverage/image_coverage --firmware ${BUILD_DIR}/firmware --blocks ${out}/fuzz-blocks
            --baseline ${out}/blocks --baseline-exceptions ${CMAKE_CURRENT_LIST_DIR}/fuzz_exceptions.txt
            --exceptions ${CMAKE_CURRENT_LIST_DIR}/exceptions.txt --out ${out}/fuzz-report.md --objdump ${OBJDUMP}
    RESULT_VARIABLE missed)
  if(missed)
    message(FATAL_ERROR "the emulated tests execute image code the corpus does not (report: ${out}/fuzz-report.md)")
  endif()
  return()
endif()

execute_process(
  COMMAND ${BUILD_DIR}/tools/coverage/image_coverage --firmware ${BUILD_DIR}/firmware --blocks ${out}/blocks
          --exceptions ${CMAKE_CURRENT_LIST_DIR}/exceptions.txt --out ${out}/report.md --objdump ${OBJDUMP}
  RESULT_VARIABLE unexplained)
if(unexplained)
  message(FATAL_ERROR "image code never executed without a listed reason (report: ${out}/report.md)")
endif()
