# find_package(Korva): korva and korva-dat as imported programs, Korva::korva
# and Korva::korva-dat, and korva_localize() and korva_check() to run them in
# a build (KorvaFunctions.cmake). Both are programs of the build machine: in
# a cross build, find_package(Korva ... NO_CMAKE_FIND_ROOT_PATH) finds them
# outside the target system's root.
if(CMAKE_VERSION VERSION_LESS 3.20)
  set(Korva_FOUND FALSE)
  set(Korva_NOT_FOUND_MESSAGE "Korva's functions need CMake 3.20 or newer")
  return()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/KorvaTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/KorvaFunctions.cmake)
