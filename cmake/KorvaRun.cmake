# cmake [-DKORVA_OUTPUT=<file>] [-DKORVA_ALLOW_MISSING=ON] -P KorvaRun.cmake -- <command>...
#
# Runs korva or korva-dat for korva_localize() and korva_check() and turns
# its exit code into the build's or the test's verdict. Both programs exit
# with 1 when texts or translations are missing but nothing else went wrong,
# which a build may take and a test may be told to take.
#
# KORVA_OUTPUT, the file korva writes: removed first, so that after the run
# its presence says that this run wrote it; exit code 1 then passes (the
# translation incomplete), and on any failure no older copy is left for a
# later build to take as up to date. KORVA_ALLOW_MISSING: exit code 1 passes.

set(command "")
set(seen_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(seen_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(seen_separator TRUE)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "KorvaRun.cmake: no command after --")
endif()

if(DEFINED KORVA_OUTPUT)
  file(REMOVE "${KORVA_OUTPUT}")
  get_filename_component(output_dir "${KORVA_OUTPUT}" DIRECTORY)
  file(MAKE_DIRECTORY "${output_dir}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status)

if(DEFINED KORVA_OUTPUT)
  if((status EQUAL 0 OR status EQUAL 1) AND EXISTS "${KORVA_OUTPUT}")
    return()
  endif()
  file(REMOVE "${KORVA_OUTPUT}")
  if(status EQUAL 0)
    set(status "exit code 0, but no ${KORVA_OUTPUT}")
  endif()
elseif(status EQUAL 0 OR (status EQUAL 1 AND KORVA_ALLOW_MISSING))
  return()
endif()
if(status MATCHES "^[0-9]+$")
  set(status "exit code ${status}")
endif()
list(GET command 0 program)
get_filename_component(program "${program}" NAME)
message(FATAL_ERROR "${program} failed (${status})")
