# Builds the firmware images twice, in two fresh folders of different names,
# and requires identical bytes from both and from the main build. With
# -DBOARD_FVPACK=..., also packs each build's images into their firmware files
# and compares those. Run by ctest (images.BuildsAreReproducible):
#
#   cmake -DBOARD_SOURCE_DIR=... -DBOARD_IMAGE_SOURCES_FILE=... -DBOARD_TE_CONVERTER=...
#         -DWORK_DIR=... -DREFERENCE_DIR=... -DGENERATOR=... -DMAKE_PROGRAM=... [-DBOARD_FVPACK=...]
#         -P check_reproducible.cmake
foreach(input BOARD_SOURCE_DIR BOARD_IMAGE_SOURCES_FILE BOARD_TE_CONVERTER WORK_DIR REFERENCE_DIR GENERATOR)
  if(NOT ${input})
    message(FATAL_ERROR "check_reproducible.cmake needs -D${input}=...")
  endif()
endforeach()

set(images BoardDxe.efi BoardPei.te)
if(BOARD_FVPACK)
  list(APPEND images BoardDxe.ffs BoardPei.ffs)
endif()
# Folder names of different lengths, so that a path that leaks into an image
# changes its size as well as its bytes.
set(builds first second-build)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${status}):\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
foreach(build ${builds})
  set(out ${WORK_DIR}/${build})
  foreach(arch x64 ia32)
    set(make_program)
    if(MAKE_PROGRAM)
      set(make_program -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
    endif()
    run(${CMAKE_COMMAND} -S ${BOARD_SOURCE_DIR}/firmware/cross -B ${out}/${arch} -G ${GENERATOR} ${make_program}
        -DCMAKE_TOOLCHAIN_FILE=${BOARD_SOURCE_DIR}/cmake/toolchain-${arch}-uefi.cmake
        -DBOARD_IMAGE_SOURCES_FILE=${BOARD_IMAGE_SOURCES_FILE}
        -DBOARD_IMAGE_OUTPUT_DIR=${out}
        -DBOARD_TE_CONVERTER=${BOARD_TE_CONVERTER}
        -DCMAKE_BUILD_TYPE=)
    run(${CMAKE_COMMAND} --build ${out}/${arch} -j 2)
  endforeach()
  if(BOARD_FVPACK)
    run(${BOARD_FVPACK} ffs pei ${out}/BoardPei.te ${out}/BoardPei.ffs)
    run(${BOARD_FVPACK} ffs dxe ${out}/BoardDxe.efi ${out}/BoardDxe.ffs)
  endif()
endforeach()

set(failures)
foreach(image ${images})
  file(SHA256 ${REFERENCE_DIR}/${image} reference)
  foreach(build ${builds})
    file(SHA256 ${WORK_DIR}/${build}/${image} digest)
    if(NOT digest STREQUAL reference)
      list(APPEND failures "${WORK_DIR}/${build}/${image} (sha256 ${digest}) differs from ${REFERENCE_DIR}/${image} (sha256 ${reference})")
    endif()
  endforeach()
  if(NOT failures)
    message(STATUS "${image}: the same bytes in all three builds (sha256 ${reference})")
  endif()
endforeach()
if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "The firmware images are not reproducible:\n${failures}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
