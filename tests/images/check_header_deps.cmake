# Requires each cross build to know that its module's objects depend on the
# headers they include, so that a changed header rebuilds the image. Reads the
# dependencies ninja recorded; edits nothing. Run by ctest
# (images.HeaderChangesRebuildImages):
#
#   cmake -DBOARD_SOURCE_DIR=... -DBOARD_FIRMWARE_DIR=... -DMAKE_PROGRAM=... -P check_header_deps.cmake
foreach(input BOARD_SOURCE_DIR BOARD_FIRMWARE_DIR MAKE_PROGRAM)
  if(NOT ${input})
    message(FATAL_ERROR "check_header_deps.cmake needs -D${input}=...")
  endif()
endforeach()

set(header ${BOARD_SOURCE_DIR}/include/board/guids.h)
foreach(pair "x64;BoardDxeCode;dxe/entry.cpp" "ia32;BoardPeiCode;pei/entry.cpp")
  list(GET pair 0 arch)
  list(GET pair 1 target)
  list(GET pair 2 source)
  set(object CMakeFiles/${target}.dir${BOARD_SOURCE_DIR}/${source}.obj)
  execute_process(COMMAND ${MAKE_PROGRAM} -C ${BOARD_FIRMWARE_DIR}/${arch} -t deps ${object}
                  RESULT_VARIABLE status OUTPUT_VARIABLE deps ERROR_VARIABLE deps)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ninja -t deps in ${BOARD_FIRMWARE_DIR}/${arch} failed (${status}):\n${deps}")
  endif()
  # ccache with a base_dir writes the dependencies relative to the build folder.
  file(RELATIVE_PATH relative_header ${BOARD_FIRMWARE_DIR}/${arch} ${header})
  string(FIND "${deps}" "${header}" found)
  string(FIND "${deps}" "${relative_header}" found_relative)
  if(found EQUAL -1 AND found_relative EQUAL -1)
    message(FATAL_ERROR "${arch}: ${object} records no dependency on ${header}; "
                        "a change to it would not rebuild the image. Recorded:\n${deps}")
  endif()
endforeach()
