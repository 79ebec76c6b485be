# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian package
# g++-mingw-w64-x86-64-posix):
#   cmake -B build-win --toolchain cmake/mingw-w64-x86_64.cmake
# The tool comes out as one statically linked trekdump.exe. Programs the build
# runs itself go through Wine where it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${mingw_prefix}-g++-posix ${mingw_prefix}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${mingw_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLL beside the exe: the C++ runtime, libgcc and winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

find_program(TREKDUMP_WINE NAMES wine)
if(TREKDUMP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TREKDUMP_WINE})
endif()
