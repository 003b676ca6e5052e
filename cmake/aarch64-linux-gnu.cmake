# Cross build for 64-bit Arm Linux with Debian's cross toolchain: GCC
# (aarch64-linux-gnu-g++, with OpenMP), or Clang given CMAKE_CXX_COMPILER=clang++
# (no OpenMP runtime for the target: the serial variant), both over the GCC
# cross sysroot. Programs built here run under qemu-aarch64; tests are started
# through it. This is the closest check here to a build for Apple silicon.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(armTriple aarch64-linux-gnu)
if(NOT CMAKE_CXX_COMPILER)
  find_program(CMAKE_CXX_COMPILER NAMES ${armTriple}-g++ REQUIRED)
endif()
# C only for what GoogleTest's build asks of it: the same compiler family.
if(NOT CMAKE_C_COMPILER AND CMAKE_CXX_COMPILER MATCHES "clang")
  find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
elseif(NOT CMAKE_C_COMPILER)
  find_program(CMAKE_C_COMPILER NAMES ${armTriple}-gcc REQUIRED)
endif()
# Clang takes the target from these; GCC ignores them.
set(CMAKE_CXX_COMPILER_TARGET ${armTriple})
set(CMAKE_C_COMPILER_TARGET ${armTriple})

set(CMAKE_FIND_ROOT_PATH /usr/${armTriple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(qemu NAMES qemu-aarch64 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR "${qemu};-L;/usr/${armTriple}")
