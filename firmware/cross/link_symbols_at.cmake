# Links an IA-32 symbol file so that its code lies at the shipped image's
# addresses. Its section table is longer than the image's (the DWARF
# sections), which moves the first section up by the added header bytes;
# the symbol file is therefore linked again at an image base lower by that
# much, so that every code byte, absolute addresses included, equals the
# image's. Run by the cross build:
#
#   cmake -DLINK=<lld-link;flags...> -DBASE=<image base> -DIMAGE=<shipped PE32> -DOUT=<file> -P link_symbols_at.cmake
foreach(input LINK BASE IMAGE OUT)
  if(NOT ${input})
    message(FATAL_ERROR "link_symbols_at.cmake needs -D${input}=...")
  endif()
endforeach()

# The RVA of the first section of a PE file.
function(first_section_rva file out)
  file(READ ${file} dos OFFSET 60 LIMIT 4 HEX)
  string(SUBSTRING ${dos} 6 2 b3)
  string(SUBSTRING ${dos} 4 2 b2)
  string(SUBSTRING ${dos} 2 2 b1)
  string(SUBSTRING ${dos} 0 2 b0)
  math(EXPR pe "0x${b3}${b2}${b1}${b0}")
  math(EXPR at "${pe} + 20")
  file(READ ${file} optional OFFSET ${at} LIMIT 2 HEX)
  string(SUBSTRING ${optional} 2 2 o1)
  string(SUBSTRING ${optional} 0 2 o0)
  math(EXPR at "${pe} + 24 + 0x${o1}${o0} + 12")
  file(READ ${file} rva OFFSET ${at} LIMIT 4 HEX)
  string(SUBSTRING ${rva} 6 2 r3)
  string(SUBSTRING ${rva} 4 2 r2)
  string(SUBSTRING ${rva} 2 2 r1)
  string(SUBSTRING ${rva} 0 2 r0)
  math(EXPR value "0x${r3}${r2}${r1}${r0}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${status})")
  endif()
endfunction()

run(${LINK} /base:${BASE} /out:${OUT})
first_section_rva(${IMAGE} shipped)
first_section_rva(${OUT} linked)
if(linked GREATER shipped)
  math(EXPR base "${BASE} - (${linked} - ${shipped})" OUTPUT_FORMAT HEXADECIMAL)
  run(${LINK} /base:${base} /out:${OUT})
endif()
