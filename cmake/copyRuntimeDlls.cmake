# cmake -DFILE=<exe or dll> -DDEST=<folder> -DOBJDUMP=<objdump> -DCOMPILER=<g++>
#       [-DSKIP=<dll;...>] -P copyRuntimeDlls.cmake
#
# Copies into DEST every DLL that FILE needs, directly or through another such
# DLL, and that the cross compiler ships (its runtime: libgomp, libgcc_s,
# libwinpthread, libstdc++). Windows' own DLLs and those in SKIP (provided by
# the host) are left to the system.
cmake_minimum_required(VERSION 3.25)

# The folders of the compiler's own libraries, where its runtime DLLs lie.
execute_process(COMMAND "${COMPILER}" -print-search-dirs OUTPUT_VARIABLE dirs)
string(REGEX MATCH "libraries: =([^\n]*)" dirs "${dirs}")
string(REPLACE ":" ";" dirs "${CMAKE_MATCH_1}")

set(skipped "")
foreach(dll IN LISTS SKIP)
  string(REPLACE "." "\\." dll "${dll}")
  list(APPEND skipped "^${dll}$")
endforeach()

set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM "windows+pe")
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL "objdump")
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${OBJDUMP}")
file(GET_RUNTIME_DEPENDENCIES
  LIBRARIES "${FILE}"
  DIRECTORIES ${dirs}
  PRE_EXCLUDE_REGEXES ${skipped}
  RESOLVED_DEPENDENCIES_VAR found
  UNRESOLVED_DEPENDENCIES_VAR system)
foreach(dll IN LISTS found)
  file(COPY "${dll}" DESTINATION "${DEST}")
endforeach()
