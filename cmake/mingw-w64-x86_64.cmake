# Cross build for 64-bit Windows with Debian's mingw-w64; the tests run
# under Wine. cmake --preset windows-x64, or
# cmake -S . -B build/win-x64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(KORVA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
# Wine's 64-bit loader itself: the wrapper would start the 32-bit one first.
set(KORVA_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
