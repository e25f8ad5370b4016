# Reads the flash layout of the firmware images from
# sim/image/firmware_layout.h, the one place that defines it, so that the
# link addresses and the host code that loads the images cannot disagree.
set(BOARD_LAYOUT_HEADER ${CMAKE_CURRENT_LIST_DIR}/../sim/image/firmware_layout.h)
get_filename_component(BOARD_LAYOUT_HEADER ${BOARD_LAYOUT_HEADER} ABSOLUTE)

# board_layout_value(<constant> <out-var>): the constant's literal value, as
# hexadecimal. Fails if the header no longer defines it on one line.
function(board_layout_value name out_var)
  file(STRINGS ${BOARD_LAYOUT_HEADER} lines REGEX "std::uint32_t ${name} = ")
  if(NOT lines MATCHES "std::uint32_t ${name} = (0x[0-9A-Fa-f]+|[0-9]+)[^0-9A-Za-z_]")
    message(FATAL_ERROR "${BOARD_LAYOUT_HEADER} does not define ${name} as a literal on one line")
  endif()
  math(EXPR value "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  set(${out_var} ${value} PARENT_SCOPE)
endfunction()
