# korva_localize() and korva_check(): korva and korva-dat (Korva::korva,
# Korva::korva-dat) as steps of a project's build and tests. Included by
# KorvaConfig.cmake; korva's own build includes it too.

# The items of a list as the user wrote it, in one string or many, with or
# without parentheses, blanks or commas: `(A,B)`, `A B`, `"(A, B)"`, `A;B`.
function(_korva_items out)
  string(JOIN "," joined ${ARGN})
  string(REGEX REPLACE "[() \t]" "" joined "${joined}")
  string(REPLACE "," ";" items "${joined}")
  list(FILTER items EXCLUDE REGEX "^$")
  set(${out} "${items}" PARENT_SCOPE)
endfunction()

# The options both programs take for --resources and --fallback.
function(_korva_common_options out resources fallback)
  set(options "")
  _korva_items(kinds ${resources})
  if(kinds)
    list(JOIN kinds "," kinds)
    list(APPEND options "--resources=${kinds}")
  endif()
  if(fallback)
    list(APPEND options "--fallback=${fallback}")
  endif()
  set(${out} "${options}" PARENT_SCOPE)
endfunction()

# Where the build puts the target's file, as known when the project is
# configured: its output directory (a configuration's subdirectory in a
# multi-configuration build), its name with PREFIX, OUTPUT_NAME and SUFFIX.
function(_korva_default_output out target languages)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(kind EXECUTABLE)
    set(dir_property RUNTIME_OUTPUT_DIRECTORY)
  elseif(type STREQUAL "SHARED_LIBRARY")
    set(kind SHARED_LIBRARY)
    set(dir_property RUNTIME_OUTPUT_DIRECTORY) # a DLL is a run-time file
  elseif(type STREQUAL "MODULE_LIBRARY")
    set(kind SHARED_MODULE)
    set(dir_property LIBRARY_OUTPUT_DIRECTORY)
  else()
    message(FATAL_ERROR "korva_localize: ${target} is a ${type}, not a program or a DLL")
  endif()
  get_target_property(dir ${target} ${dir_property})
  if(NOT dir)
    get_target_property(dir ${target} BINARY_DIR)
  endif()
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config AND NOT dir MATCHES "\\$<")
    string(APPEND dir "/$<CONFIG>")
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  foreach(part PREFIX SUFFIX)
    get_target_property(${part} ${target} ${part})
    if(NOT ${part})
      set(${part} "${CMAKE_${kind}_${part}}")
    endif()
  endforeach()
  list(LENGTH languages count)
  set(${out} "${dir}/${PREFIX}${name}.${count}lang${SUFFIX}" PARENT_SCOPE)
endfunction()

# korva_localize(TARGET <target> NEUTRAL <key> LANGUAGES <key|tag>... DATA <file>
#                [RESOURCES <kind>...] [FALLBACK <key>] [OPTIONS <korva option>...]
#                [OUTPUT <file>])
#
# Builds the localised copy of the target's program or DLL, by default beside
# it as <name>.<number of languages>lang.exe (.dll), and again whenever the
# target, the data file or korva changes; the target's own file is left as
# the linker wrote it. DATA is taken relative to the current source
# directory, OUTPUT to the current binary directory. A custom target
# <target>_localized (then <target>_localized_2, ...) of ALL builds it.
#
# korva's exit code 1, the translation incomplete but written, passes with
# korva's own lines in the build's output; OPTIONS -A makes it fail the build.
# Any other failure fails the build and leaves no output behind.
function(korva_localize)
  cmake_parse_arguments(arg "" "TARGET;NEUTRAL;DATA;FALLBACK;OUTPUT"
                        "LANGUAGES;RESOURCES;OPTIONS" ${ARGN})
  foreach(required TARGET NEUTRAL LANGUAGES DATA)
    if(NOT arg_${required})
      message(FATAL_ERROR "korva_localize: ${required} is missing")
    endif()
  endforeach()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "korva_localize: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  _korva_items(languages ${arg_LANGUAGES})
  if(NOT languages)
    message(FATAL_ERROR "korva_localize: LANGUAGES names no language")
  endif()
  list(JOIN languages "," destinations)
  get_filename_component(data "${arg_DATA}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    _korva_default_output(output ${arg_TARGET} "${languages}")
  endif()
  _korva_common_options(options "${arg_RESOURCES}" "${arg_FALLBACK}")
  set(run ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KorvaRun.cmake)

  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DKORVA_OUTPUT=${output}" -P "${run}" --
            "$<TARGET_FILE:Korva::korva>" ${arg_OPTIONS} ${options} "--data=${data}"
            "--output=${output}" "${arg_NEUTRAL}" "(${destinations})"
            "$<TARGET_FILE:${arg_TARGET}>"
    DEPENDS ${arg_TARGET} "${data}" Korva::korva "${run}"
    COMMENT "Translating ${arg_TARGET} into (${destinations})"
    VERBATIM)
  # A name a target may take, also for an ALIAS such as app::app.
  string(REGEX REPLACE "[^A-Za-z0-9_.+-]" "_" base "${arg_TARGET}_localized")
  set(name ${base})
  set(number 1)
  while(TARGET ${name})
    math(EXPR number "${number} + 1")
    set(name ${base}_${number})
  endwhile()
  add_custom_target(${name} ALL DEPENDS "${output}")
endfunction()

# korva_check(NAME <test> DATA <file> TARGET <target>... [NEUTRAL <key> LANGUAGES <key|tag>...]
#             [RESOURCES <kind>...] [FALLBACK <key>] [OPTIONS <korva-dat option>...]
#             [ALLOW_MISSING])
#
# A test that runs `korva-dat check` on the data file with the targets'
# files: it fails on errors in the data file (syntax, placeholders,
# accelerators, what korva would fail on) and, unless ALLOW_MISSING, on a
# text or translation korva would not find. Without NEUTRAL and LANGUAGES,
# the data file's languages line gives them.
function(korva_check)
  cmake_parse_arguments(arg "ALLOW_MISSING" "NAME;DATA;NEUTRAL;FALLBACK"
                        "TARGET;LANGUAGES;RESOURCES;OPTIONS" ${ARGN})
  foreach(required NAME DATA TARGET)
    if(NOT arg_${required})
      message(FATAL_ERROR "korva_check: ${required} is missing")
    endif()
  endforeach()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "korva_check: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(data "${arg_DATA}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  _korva_common_options(options "${arg_RESOURCES}" "${arg_FALLBACK}")
  _korva_items(languages ${arg_LANGUAGES})
  set(choice "")
  if(arg_NEUTRAL AND languages)
    list(JOIN languages "," destinations)
    set(choice "${arg_NEUTRAL}" "(${destinations})")
  elseif(arg_NEUTRAL OR languages)
    message(FATAL_ERROR "korva_check: NEUTRAL and LANGUAGES go together")
  endif()
  set(programs "")
  foreach(target IN LISTS arg_TARGET)
    list(APPEND programs "$<TARGET_FILE:${target}>")
  endforeach()

  set(command "$<TARGET_FILE:Korva::korva-dat>" check ${arg_OPTIONS} ${options} "${data}"
              ${choice} ${programs})
  if(arg_ALLOW_MISSING)
    set(run ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/KorvaRun.cmake)
    set(command "${CMAKE_COMMAND}" -DKORVA_ALLOW_MISSING=ON -P "${run}" --
                ${command})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${command})
endfunction()
