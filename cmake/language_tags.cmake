# Writes the committed table of language tags as a C++ table:
# cmake -DINPUT=language_tags.tsv -DOUTPUT=language_tags.inc -P language_tags.cmake
#
# Each row of the input is "tag<TAB>0xLANGID" (scripts/lib/language_tags.py
# makes it); lines beginning with "#" say where it came from. Anything else
# stops the build rather than drop or garble a language.
file(STRINGS "${INPUT}" lines)
set(rows "")
set(count 0)
set(line_number 0)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  if(line MATCHES "^#")
    continue()
  endif()
  if(NOT line MATCHES "^([A-Za-z][A-Za-z0-9-]*)\t0x([0-9A-F][0-9A-F][0-9A-F][0-9A-F])$")
    message(FATAL_ERROR "${INPUT}:${line_number}: not tag<TAB>0xLANGID: '${line}'")
  endif()
  string(APPEND rows "    {0x${CMAKE_MATCH_2}, \"${CMAKE_MATCH_1}\"},\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count LESS 400)
  message(FATAL_ERROR "${INPUT} holds only ${count} language tags")
endif()
cmake_path(GET INPUT FILENAME name)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${name} by cmake/language_tags.cmake. Do not edit.\n"
  "// {language id, tag}, in the order of the table.\n"
  "inline constexpr std::array<LanguageTagRow, ${count}> kLanguageTags = {{\n"
  "${rows}}};\n")
# Unchanged output keeps its time stamp, so nothing rebuilds for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
