# Cross-compiles for 64-bit Windows with Debian's mingw-w64 posix-thread compilers
# (package g++-mingw-w64-x86-64-posix). Usage:
#   cmake -S . -B /work/build-mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CORVOLT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CORVOLT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVOLT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVOLT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${CORVOLT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests built for Windows run under Wine where it is installed.
# (Debian's wine64 package puts its loader in /usr/lib/wine.)
find_program(CORVOLT_WINE64 NAMES wine64 wine PATHS /usr/lib/wine)
if(CORVOLT_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CORVOLT_WINE64})
endif()
