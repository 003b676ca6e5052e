# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain (the POSIX
# thread model, whose GCC ships the OpenMP runtime libgomp-1.dll). Programs
# built here run under Wine: tests are started through it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingwTriple x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${mingwTriple}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${mingwTriple}-windres)
find_program(MINGW_DLLTOOL NAMES ${mingwTriple}-dlltool REQUIRED)
find_program(MINGW_OBJDUMP NAMES ${mingwTriple}-objdump REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${mingwTriple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 package puts the 64-bit loader outside PATH.
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
