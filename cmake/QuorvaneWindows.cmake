# Quorvane.dll for 32-bit Windows hosts, from the same sources as the portable
# library: the renderer, writers and readers are shared unchanged, and the
# platform layer is platform/win32 (GDI and AVIFile) instead of the portable
# stand-ins and FFmpeg.

if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  message(FATAL_ERROR "Quorvane.dll is a 32-bit library; use cmake/toolchain-i686-mingw.cmake")
endif()

# SSE2 arithmetic instead of the x87 unit: doubles are then rounded exactly as
# in the portable build, so both give the same output words. Hosts call with a
# 4-byte aligned stack, so functions realign it where they need more.
target_compile_options(quorvane_flags INTERFACE -msse2 -mfpmath=sse -mincoming-stack-boundary=2)

# FreeImage's own header serves the Windows build (it declares the functions
# __stdcall there); only that one header is taken from the build machine,
# copied into the build tree so that no other host header leaks in. Its
# functions are declared without __declspec(dllimport): calls through
# `__imp_` slots are not routed to the delay-load stubs by this linker, whose
# slots then stay 0 and every image call jumps to address 0.
find_file(QUORVANE_FREEIMAGE_HEADER FreeImage.h
  PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QUORVANE_WIN_INCLUDE ${CMAKE_CURRENT_BINARY_DIR}/freeimage-include)
file(READ ${QUORVANE_FREEIMAGE_HEADER} QUORVANE_FREEIMAGE_DECLARATIONS)
string(REPLACE "#define DLL_API __declspec(dllimport)" "#define DLL_API"
  QUORVANE_FREEIMAGE_DIRECT "${QUORVANE_FREEIMAGE_DECLARATIONS}")
if(QUORVANE_FREEIMAGE_DIRECT STREQUAL QUORVANE_FREEIMAGE_DECLARATIONS)
  message(FATAL_ERROR "${QUORVANE_FREEIMAGE_HEADER}: no dllimport declaration to replace")
endif()
# Written through a copy so that an unchanged header keeps its time stamp.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/FreeImage.h.new "${QUORVANE_FREEIMAGE_DIRECT}")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/FreeImage.h.new ${QUORVANE_WIN_INCLUDE}/FreeImage.h COPYONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUORVANE_FREEIMAGE_HEADER})

# FreeImage.dll is the host's: link through a delay-load import library made
# from the definition file, so that the library loads without it and binds it
# on the first image call (platform/win32/image_library_delay_loaded.cpp).
set(QUORVANE_FREEIMAGE_IMPORT ${CMAKE_CURRENT_BINARY_DIR}/libFreeImage-delay.a)
add_custom_command(OUTPUT ${QUORVANE_FREEIMAGE_IMPORT}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/FreeImage.def
          --output-delaylib ${QUORVANE_FREEIMAGE_IMPORT}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/FreeImage.def
  COMMENT "Delay-load import library for FreeImage.dll")
add_custom_target(freeimage_import DEPENDS ${QUORVANE_FREEIMAGE_IMPORT})

file(GLOB QUORVANE_SOURCES CONFIGURE_DEPENDS
  api/*.cpp morph/*.cpp gif/*.cpp still/*.cpp video/*.cpp platform/*.cpp platform/win32/*.cpp)
add_library(quorvane SHARED ${QUORVANE_SOURCES} api/library_entry.c api/quorvane.def)
add_dependencies(quorvane freeimage_import)
target_include_directories(quorvane PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_include_directories(quorvane SYSTEM PRIVATE ${QUORVANE_WIN_INCLUDE})
target_compile_definitions(quorvane PRIVATE QUORVANE_BUILDING WIN32_LEAN_AND_MEAN NOMINMAX)
# FreeImage.h declares its own copies of the Windows types unless <windows.h>
# came first, after which <windows.h> would be skipped; so it always comes first.
target_compile_options(quorvane PRIVATE -include windows.h)
set_target_properties(quorvane PROPERTIES OUTPUT_NAME Quorvane PREFIX "" IMPORT_PREFIX "")
# The C and C++ runtimes are linked in, so the DLL needs only system modules
# and, for the image calls, FreeImage.dll.
target_link_options(quorvane PRIVATE -static -Wl,--enable-stdcall-fixup)
target_link_libraries(quorvane PRIVATE quorvane_flags ${QUORVANE_FREEIMAGE_IMPORT}
  avifil32 msvfw32 gdi32 user32 delayimp)

# The linker's own import library would name `_SetVars@16` where a C caller
# looks for `SetVars@16`; the one a host links against maps each decorated
# C name onto the exported one.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/api/quorvane.def QUORVANE_EXPORT_DEF)
string(REGEX REPLACE "\n_([A-Za-z]+@[0-9]+) = [^\n]*" "\n\\1 == _\\1" QUORVANE_IMPORT_DEF "${QUORVANE_EXPORT_DEF}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/quorvane-import.def "${QUORVANE_IMPORT_DEF}")
add_custom_command(TARGET quorvane POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_CURRENT_BINARY_DIR}/quorvane-import.def
          --output-lib $<TARGET_LINKER_FILE:quorvane>
  COMMENT "Import library Quorvane.dll.a")

if(QUORVANE_BUILD_TESTS)
  add_subdirectory(tests/win32)
endif()
