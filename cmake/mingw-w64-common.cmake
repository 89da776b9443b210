# What both mingw-w64 toolchain files share; they set KORVA_MINGW_TRIPLE and
# KORVA_WINE_LOADER first.
set(CMAKE_SYSTEM_NAME Windows)
# The POSIX thread model: GCC 12's win32 one has no std::mutex, which
# GoogleTest needs. Linked statically, its thread library adds no DLL.
set(CMAKE_C_COMPILER ${KORVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVA_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the .exe files under Wine, in a prefix of the build tree's own
# (KORVA_TEST_WINEPREFIX to share one between builds: making one takes a while).
# No Mono or Gecko: no test needs them, and offering them costs seconds.
find_program(KORVA_WINE ${KORVA_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KORVA_WINE ${KORVA_WINE_LOADER})
set(KORVA_TEST_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix the tests run in")
if(KORVA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${KORVA_TEST_WINEPREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
          ${KORVA_WINE})
endif()
