# korva-dat's manual is written once, in src/dat/help/*.txt. This script
# makes from it what the program prints for --help (a C++ header, at build
# time), the manual page man/korva-dat.1 and the manual part of
# docs/korva-dat.md. The last two are kept in the sources, the page for the
# packages and the document to be read on the web; a test tells when they
# no longer follow from the help.
#
#   cmake -DMODE=header -DOUTPUT=<file.h> -P korva_dat_manual.cmake
#   cmake -DMODE=write -P korva_dat_manual.cmake     rewrites both copies
#   cmake -DMODE=check -DWORK_DIR=<dir> -P korva_dat_manual.cmake
#       fails, with a diff, where a copy differs from what the help gives
#
# It is CMake alone, so that a cross build (mingw-w64) needs nothing it
# cannot run on the build machine.
cmake_minimum_required(VERSION 3.25)

get_filename_component(kd_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/korva_dat_manual_render.cmake")

# The program's page first; the others in the order of its COMMANDS.
set(kd_pages korva-dat extract update check export-po import-po pseudo)
set(kd_man_file "${kd_root}/man/korva-dat.1")
set(kd_markdown_file "${kd_root}/docs/korva-dat.md")
# The line of docs/korva-dat.md after which it is written by hand.
set(kd_markdown_end "<!-- The manual ends here; what follows is written by hand. -->")

# Reads every page: kd_help_<page> is its --help text, kd_events_<page> its
# layout (see korva_dat_manual_render.cmake).
function(kd_read_pages)
  file(GLOB files "${kd_root}/src/dat/help/*.txt")
  list(LENGTH files found)
  list(LENGTH kd_pages listed)
  if(NOT found EQUAL listed)
    message(FATAL_ERROR "src/dat/help holds ${found} pages, korva_dat_manual.cmake names ${listed}")
  endif()
  foreach(page IN LISTS kd_pages)
    kd_parse_page("${kd_root}/src/dat/help/${page}.txt" help events)
    set(kd_help_${page} "${help}" PARENT_SCOPE)
    set(kd_events_${page} "${events}" PARENT_SCOPE)
  endforeach()
endfunction()

function(kd_write_header output)
  list(LENGTH kd_pages count)
  set(text "// Made by cmake/korva_dat_manual.cmake from src/dat/help/*.txt: edit those.\n")
  string(APPEND text "#pragma once\n\n#include <array>\n#include <string_view>\n\n"
         "namespace korva::dat {\n\nstruct HelpPage {\n"
         "    std::string_view command; // \"\" for the program's own page\n"
         "    std::string_view text;\n};\n\n"
         "inline constexpr std::array<HelpPage, ${count}> kHelpPages = {{\n")
  foreach(page IN LISTS kd_pages)
    set(help "${kd_help_${page}}")
    if(help MATCHES "\\)korva_help\"")
      message(FATAL_ERROR "src/dat/help/${page}.txt holds the end of a raw string: )korva_help\"")
    endif()
    set(command "${page}")
    if(page STREQUAL "korva-dat")
      set(command "")
    endif()
    string(APPEND text "    {\"${command}\", R\"korva_help(${help})korva_help\"},\n")
  endforeach()
  string(APPEND text "}};\n\n} // namespace korva::dat\n")
  file(WRITE "${output}" "${text}")
endfunction()

# What man/korva-dat.1 and docs/korva-dat.md should hold: kd_man and
# kd_markdown. The hand-written end of the document is taken as it is.
function(kd_render_copies)
  kd_man_begin(man)
  string(CONCAT markdown "<!-- Made by cmake/korva_dat_manual.cmake from src/dat/help/*.txt, as\n"
         "     korva-dat's own help is: edit those, not this part. -->\n")
  foreach(page IN LISTS kd_pages)
    set(title "korva-dat ${page}")
    if(page STREQUAL "korva-dat")
      set(title "korva-dat")
    endif()
    kd_render_man("${title}" "${kd_events_${page}}" page_man)
    kd_render_markdown("${title}" "${kd_events_${page}}" page_markdown)
    string(APPEND man "${page_man}")
    string(APPEND markdown "${page_markdown}")
  endforeach()
  kd_man_end(man_end)
  string(APPEND man "${man_end}")

  set(tail "\n")
  if(EXISTS "${kd_markdown_file}")
    file(READ "${kd_markdown_file}" committed)
    string(REPLACE "\r" "" committed "${committed}")
    string(FIND "${committed}" "${kd_markdown_end}" at)
    if(at LESS 0)
      message(FATAL_ERROR "docs/korva-dat.md has lost the line where its own part begins:\n"
                          "${kd_markdown_end}")
    endif()
    string(SUBSTRING "${committed}" ${at} -1 tail)
    string(LENGTH "${kd_markdown_end}" length)
    string(SUBSTRING "${tail}" ${length} -1 tail)
  endif()
  string(APPEND markdown "\n${kd_markdown_end}${tail}")
  set(kd_man "${man}" PARENT_SCOPE)
  set(kd_markdown "${markdown}" PARENT_SCOPE)
endfunction()

# Compares a copy with what it should hold, showing the difference.
function(kd_check_copy committed_file expected work_dir result)
  set(${result} TRUE PARENT_SCOPE)
  file(READ "${committed_file}" committed)
  string(REPLACE "\r" "" committed "${committed}")
  if(committed STREQUAL expected)
    return()
  endif()
  get_filename_component(name "${committed_file}" NAME)
  file(WRITE "${work_dir}/${name}" "${expected}")
  message("${committed_file} is not what src/dat/help/*.txt gives (${work_dir}/${name}):")
  find_program(kd_diff diff)
  if(kd_diff)
    execute_process(COMMAND "${kd_diff}" -u "${committed_file}" "${work_dir}/${name}")
  endif()
  set(${result} FALSE PARENT_SCOPE)
endfunction()

kd_read_pages()
if(MODE STREQUAL "header")
  kd_write_header("${OUTPUT}")
elseif(MODE STREQUAL "write")
  kd_render_copies()
  file(WRITE "${kd_man_file}" "${kd_man}")
  file(WRITE "${kd_markdown_file}" "${kd_markdown}")
elseif(MODE STREQUAL "check")
  if(NOT WORK_DIR)
    set(WORK_DIR "${CMAKE_CURRENT_BINARY_DIR}/korva_dat_manual")
  endif()
  kd_render_copies()
  file(MAKE_DIRECTORY "${WORK_DIR}")
  kd_check_copy("${kd_man_file}" "${kd_man}" "${WORK_DIR}" man_agrees)
  kd_check_copy("${kd_markdown_file}" "${kd_markdown}" "${WORK_DIR}" markdown_agrees)
  if(NOT man_agrees OR NOT markdown_agrees)
    message(FATAL_ERROR "The manual's copies differ from korva-dat's help: edit src/dat/help/*.txt "
                        "and run 'cmake --build <build> --target korva_dat_manual'.")
  endif()
else()
  message(FATAL_ERROR "MODE is header, write or check")
endif()
