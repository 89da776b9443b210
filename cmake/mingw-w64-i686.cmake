# Cross build for 32-bit Windows with Debian's mingw-w64; the tests run
# under Wine (wine32 from the i386 architecture).
# cmake --preset windows-x86, or
# cmake -S . -B build/win-x86 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(KORVA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(KORVA_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
