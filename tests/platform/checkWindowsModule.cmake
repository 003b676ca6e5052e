# cmake -DOBJDUMP=<objdump> -DMODULE=<crestThin.mexw64> -P checkWindowsModule.cmake
#
# The DLL's tables as the host sees them: the export table names mexFunction
# alone; the MX operations come from libmx.dll under the host's link names
# (array creation with 32-bit dimensions); the C++ runtime is inside the module,
# and the thread runtime is its own DLL.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()

set(failures "")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" table "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z_][A-Za-z0-9_@]*" exports "${CMAKE_MATCH_1}")
if(NOT exports STREQUAL "] mexFunction")
  list(APPEND failures "exports are '${exports}', not mexFunction alone")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
string(REGEX REPLACE "DLL Name: " "" dlls "${dlls}")
foreach(needed libmx.dll libmex.dll libgomp-1.dll)
  if(NOT needed IN_LIST dlls)
    list(APPEND failures "does not import from ${needed}")
  endif()
endforeach()
foreach(dll IN LISTS dlls)
  if(dll MATCHES "^libstdc\\+\\+|^libgcc")
    list(APPEND failures "needs ${dll}")
  endif()
endforeach()

# The names bound in libmx.dll: the import section lists each DLL's names
# below its "DLL Name" line.
string(REGEX MATCH "DLL Name: libmx.dll[^\n]*\n[^\n]*\n(([ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_0-9]+\n)*)" section "${dump}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z_0-9]*\n" mxNames "${CMAKE_MATCH_1}")
string(REPLACE "\n" "" mxNames "${mxNames}")
foreach(name mxCreateNumericMatrix_700 mxGetData mxGetScalar mxGetM mxGetN)
  if(NOT name IN_LIST mxNames)
    list(APPEND failures "does not import ${name} from libmx.dll (imports: ${mxNames})")
  endif()
endforeach()
if("mxCreateNumericMatrix_730" IN_LIST mxNames)
  list(APPEND failures "imports the 64-bit array interface")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "exports: mexFunction; imports from: ${dlls}; from libmx.dll: ${mxNames}")
