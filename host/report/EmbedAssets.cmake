# Writes OUT, a C++ source holding the page script (SCRIPT) and the style
# sheet (STYLE) as constants, so that the program carries the report's
# assets and they stay ordinary files to edit.
set(text "// Made from host/report/assets by EmbedAssets.cmake at build time.\n")
string(APPEND text "#include \"report/ReportAssets.h\"\n\nnamespace report {\n")
foreach(pair "kReportScript=${SCRIPT}" "kReportStyle=${STYLE}")
  string(REGEX MATCH "^[^=]+" name "${pair}")
  string(REGEX REPLACE "^[^=]+=" "" path "${pair}")
  file(READ "${path}" content)
  string(FIND "${content}" ")asset\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the text that ends the raw string: )asset\"")
  endif()
  string(APPEND text "const char ${name}[] = R\"asset(${content})asset\";\n")
endforeach()
string(APPEND text "}  // namespace report\n")
# Rewritten only when it changes, so an unchanged asset recompiles nothing.
if(EXISTS "${OUT}")
  file(READ "${OUT}" previous)
  if(previous STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
