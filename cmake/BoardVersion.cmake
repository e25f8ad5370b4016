# The firmware's version, read from VERSION at the root, the one place that
# holds it:
#   BOARD_VERSION        "1.0.0" (major.minor.patch)
#   BOARD_VERSION_MAJOR, BOARD_VERSION_MINOR, BOARD_VERSION_PATCH
#   BOARD_BUILD_NUMBER   the build number, 0 to 65535 (an FFS version section holds 16 bits)
set(BOARD_VERSION_FILE ${CMAKE_CURRENT_LIST_DIR}/../VERSION)
get_filename_component(BOARD_VERSION_FILE ${BOARD_VERSION_FILE} ABSOLUTE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BOARD_VERSION_FILE})
file(READ ${BOARD_VERSION_FILE} board_version_text)
if(NOT board_version_text MATCHES "version ([0-9]+)\\.([0-9]+)\\.([0-9]+)\n")
  message(FATAL_ERROR "${BOARD_VERSION_FILE}: no line 'version MAJOR.MINOR.PATCH'")
endif()
set(BOARD_VERSION_MAJOR ${CMAKE_MATCH_1})
set(BOARD_VERSION_MINOR ${CMAKE_MATCH_2})
set(BOARD_VERSION_PATCH ${CMAKE_MATCH_3})
set(BOARD_VERSION ${BOARD_VERSION_MAJOR}.${BOARD_VERSION_MINOR}.${BOARD_VERSION_PATCH})
if(NOT board_version_text MATCHES "build ([0-9]+)\n")
  message(FATAL_ERROR "${BOARD_VERSION_FILE}: no line 'build NUMBER'")
endif()
set(BOARD_BUILD_NUMBER ${CMAKE_MATCH_1})
# The PE image version fields hold 16 bits each, the build number in a
# version section 16 bits.
foreach(part BOARD_VERSION_MAJOR BOARD_VERSION_MINOR BOARD_BUILD_NUMBER)
  if(${part} GREATER 65535)
    message(FATAL_ERROR "${BOARD_VERSION_FILE}: ${part} ${${part}} does not fit 16 bits")
  endif()
endforeach()
