# Windows builds with mingw-w64 (cmake/mingw-x86_64.cmake, cmake/mingw-i686.cmake).
enable_language(RC)

# Windows x86-64 keeps the stack aligned to 16 bytes only, and GCC spills
# 32- and 64-byte vectors there with aligned moves. The unaligned encodings
# cost nothing on aligned data and never fault.
add_compile_options(-Wa,-muse-unaligned-vector-move)

# 32-bit x86 would do scalar float arithmetic on the x87 unit, with excess
# precision, so scalar results would differ from the SSE kernels' and from
# the 64-bit build's. SSE2 scalar arithmetic rounds every operation as the
# vector code does (every processor a 32-bit Windows host runs on has it).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# Nothing but Windows' own DLLs at run time: the C++ runtime, libgcc,
# winpthread and zlib are linked in.
add_link_options(-static)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# Test programs run under wine, each build with a prefix of its own.
if(CMAKE_CROSSCOMPILING AND VELMORA_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${VELMORA_WINE_LOADER} ${CMAKE_BINARY_DIR}/wine)
endif()

# The registration writer runs during the build, so it is built for the build
# machine with its own compiler, from the same sources as the Linux one.
find_program(VELMORA_HOST_CXX NAMES c++ g++ clang++ REQUIRED)

# Makes `target` the Windows plug-in: Velmora.aex beside the programs, the
# registration compiled in as resource "PiPL" 16000, PluginEntry its only
# export.
function(velmora_windows_plugin target)
  set(tools ${CMAKE_BINARY_DIR}/host-tools)
  set(writer ${tools}/velmora_pipl)
  file(GLOB sdk_headers ${PROJECT_SOURCE_DIR}/sdk/*.h)
  add_custom_command(OUTPUT ${writer}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tools}
    COMMAND ${VELMORA_HOST_CXX} -std=c++20 -O1 -I${PROJECT_SOURCE_DIR}
            ${PROJECT_SOURCE_DIR}/resources/tools/WritePipl.cpp
            ${PROJECT_SOURCE_DIR}/resources/Pipl.cpp -o ${writer}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/tools/WritePipl.cpp
            ${PROJECT_SOURCE_DIR}/resources/Pipl.cpp ${PROJECT_SOURCE_DIR}/resources/Pipl.h
            ${PROJECT_SOURCE_DIR}/resources/EffectIdentity.h ${sdk_headers}
    COMMENT "Building the registration writer for the build machine")
  # The writer runs on the build machine, so the target's architecture picks
  # the entry-point key ('8664' or 'wx86'), not the writer's own.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(bits --64)
  else()
    set(bits --32)
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/Velmora.rc ${CMAKE_BINARY_DIR}/Velmora.pipl
    COMMAND ${writer} ${bits} --rc ${CMAKE_BINARY_DIR}/Velmora.rc
    COMMAND ${writer} ${bits} ${CMAKE_BINARY_DIR}/Velmora.pipl
    DEPENDS ${writer}
    COMMENT "Writing the registration resource")
  target_sources(${target} PRIVATE
    ${CMAKE_BINARY_DIR}/Velmora.rc ${PROJECT_SOURCE_DIR}/resources/Velmora.def)
  set_target_properties(${target} PROPERTIES SUFFIX ".aex" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endfunction()
