# GoogleTest for the tests: the system's on Linux (libgtest-dev); in a cross
# build, where no Windows build of it is packaged, built here from the
# sources Debian ships in the googletest package.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

find_path(KORVA_GOOGLETEST_SOURCE CMakeLists.txt
          PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
          DOC "GoogleTest's sources (Debian: googletest)")
if(NOT KORVA_GOOGLETEST_SOURCE)
  message(FATAL_ERROR "GoogleTest's sources are needed for a cross build of the tests: "
                      "install googletest, or set KORVA_GOOGLETEST_SOURCE")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# SYSTEM: its headers are then outside our warnings, as the system's are.
add_subdirectory(${KORVA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(target gtest gtest_main)
  # Our warning options are for our own code.
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
  if(NOT TARGET GTest::${target}) # GoogleTest 1.11 and later name them so themselves
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
