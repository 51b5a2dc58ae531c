# Cross build for Windows x86 (32-bit) with Debian's mingw-w64. Tests run
# under wine (wine32, i386 architecture).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELMORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(VELMORA_WINE_LOADER /usr/lib/wine/wine)
