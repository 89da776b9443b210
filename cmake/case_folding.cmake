# Writes the simple case folding of the Unicode Character Database as a C++
# table: cmake -DINPUT=CaseFolding.txt -DOUTPUT=case_folding.inc -P case_folding.cmake
#
# Only the statuses C and S are taken: together they map each code point to
# one code point, which keeps a folded text comparable unit by unit. F (full
# folding, one to many) and T (Turkic) are left out.
file(STRINGS "${INPUT}" lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
file(STRINGS "${INPUT}" version LIMIT_COUNT 1 REGEX "^# CaseFolding-")
string(REGEX REPLACE "^# " "" version "${version}")
set(pairs "")
set(count 0)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9A-F]+); [CS]; ([0-9A-F]+);" _ "${line}")
  string(APPEND pairs "    {0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}},\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count LESS 1000)
  message(FATAL_ERROR "${INPUT} holds only ${count} simple case foldings")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${version} by cmake/case_folding.cmake. Do not edit.\n"
  "// {code point, its simple case folding}, ascending by code point.\n"
  "inline constexpr std::size_t kCaseFoldingCount = ${count};\n"
  "inline constexpr std::array<std::array<char32_t, 2>, ${count}> kCaseFolding = {{\n"
  "${pairs}}};\n")
# Unchanged output keeps its time stamp, so nothing rebuilds for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
