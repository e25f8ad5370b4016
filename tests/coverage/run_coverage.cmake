# Runs every emulated test of a build with image coverage recorded, then
# writes the coverage report and checks that every range of the images' code
# never executed is listed, with its reason, in exceptions.txt.
#
#   cmake -DBUILD_DIR=<build> -DOBJDUMP=<llvm-objdump> [-DJOBS=N] -P run_coverage.cmake
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

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env BOARDSIM_COVERAGE_DIR=${out}/blocks
          ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD_DIR} -R emulated -j ${JOBS} --output-log ${out}/ctest.log
  OUTPUT_QUIET
  RESULT_VARIABLE tests_failed)
if(tests_failed)
  message(FATAL_ERROR "emulated tests failed while recording image coverage; see ${out}/ctest.log")
endif()

execute_process(
  COMMAND ${BUILD_DIR}/tools/coverage/image_coverage --firmware ${BUILD_DIR}/firmware --blocks ${out}/blocks
          --exceptions ${CMAKE_CURRENT_LIST_DIR}/exceptions.txt --out ${out}/report.md --objdump ${OBJDUMP}
  RESULT_VARIABLE unexplained)
if(unexplained)
  message(FATAL_ERROR "image code never executed without a listed reason (report: ${out}/report.md)")
endif()
