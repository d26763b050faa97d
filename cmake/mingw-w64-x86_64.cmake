# Cross-building the Qt-free core for 64-bit Windows with Debian's mingw-w64 (posix threads),
# its programs run under wine64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DMV32_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The C and C++ runtimes and the thread library go into each program: a program file needs
# only what every Windows has (kernel32, msvcrt).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests and test discovery run the programs through wine.
find_program(MV32_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MV32_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${MV32_WINE})
endif()
