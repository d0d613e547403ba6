# Writes OUTPUT, a header that holds the text of INPUT as
# `inline constexpr std::string_view NAME`, so that a program carries the
# file's text without reading it at run time.
file(READ ${INPUT} text)
set(delimiter "embedded")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the raw-string delimiter ${delimiter}")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#pragma once\n#include <string_view>\nnamespace brisklane {\ninline constexpr std::string_view ${NAME} = R\"${delimiter}(${text})${delimiter}\";\n}  // namespace brisklane\n")
