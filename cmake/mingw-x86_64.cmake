# Cross build for Windows x86-64 with Debian's mingw-w64. Tests run under
# wine64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(VELMORA_WINE_LOADER /usr/lib/wine/wine64)
