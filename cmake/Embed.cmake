# Turns files (the viewer's page, the humanoid naming table) into one header
# of byte arrays, so the program carries them without reading anything at
# run time.
# cmake -DOUT=header -DINPUTS="name=file;..." -P Embed.cmake
set(_text "// Generated at build time by cmake/Embed.cmake; edit the files it names.\n#pragma once\n#include <cstddef>\n\n")
foreach(pair ${INPUTS})
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 name)
  list(GET parts 1 file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR size "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  string(APPEND _text "inline constexpr unsigned char ${name}[] = {\n${bytes}0};\n")
  string(APPEND _text "inline constexpr std::size_t ${name}Size = ${size};\n\n")
endforeach()
file(WRITE "${OUT}.tmp" "${_text}")
file(RENAME "${OUT}.tmp" "${OUT}")
