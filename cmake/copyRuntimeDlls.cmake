# cmake -DFILE=<exe or dll> -DDEST=<folder> -DOBJDUMP=<objdump> -DCOMPILER=<g++>
#       [-DSKIP=<dll;...>] -P copyRuntimeDlls.cmake
#
# Copies into DEST every DLL that FILE needs, directly or through another such
# DLL, and that the cross compiler ships (its runtime: libgomp, libgcc_s,
# libwinpthread, libstdc++). Windows' own DLLs and those in SKIP (provided by
# the host) are left to the system.
cmake_minimum_required(VERSION 3.25)
string(TOLOWER "${SKIP}" skipped)
set(queue "${FILE}")
set(seen "")
while(queue)
  list(POP_FRONT queue current)
  execute_process(COMMAND "${OBJDUMP}" -p "${current}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${current} failed")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "DLL Name: " "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" key)
    if(key IN_LIST skipped OR key IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${key}")
    execute_process(COMMAND "${COMPILER}" -print-file-name=${dll} OUTPUT_VARIABLE found
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    # The compiler echoes the bare name back for a DLL it does not ship.
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
      file(COPY_FILE "${found}" "${DEST}/${dll}" ONLY_IF_DIFFERENT)
      list(APPEND queue "${found}")
    endif()
  endforeach()
endwhile()
