# cmake -DOBJDUMP=<objdump> -DMODULE=<name.mexw64> -DARRAYS=<compat32|large> -P checkWindowsModule.cmake
#
# The DLL's tables as the host sees them: the export table names mexFunction
# (and, with the 64-bit array interface, mexfilerequiredapiversion) alone; the
# MX operations come from libmx.dll under the host's link names, array
# creation under the interface's (_700: 32-bit dimensions, _730: 64-bit); the
# C++ runtime is inside the module, and the thread runtime is its own DLL.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()
if(ARRAYS STREQUAL "compat32")
  set(expectedExports mexFunction)
  set(create mxCreateNumericMatrix_700)
  set(otherCreate mxCreateNumericMatrix_730)
else()
  set(expectedExports mexFunction mexfilerequiredapiversion)
  set(create mxCreateNumericMatrix_730)
  set(otherCreate mxCreateNumericMatrix_700)
endif()

set(failures "")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" table "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z_][A-Za-z0-9_@]*" exports "${CMAKE_MATCH_1}")
string(REPLACE "] " "" exports "${exports}")
if(NOT exports STREQUAL expectedExports)
  list(APPEND failures "exports are '${exports}', not '${expectedExports}'")
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
foreach(name ${create} mxGetData mxGetScalar mxGetM mxGetN)
  if(NOT name IN_LIST mxNames)
    list(APPEND failures "does not import ${name} from libmx.dll (imports: ${mxNames})")
  endif()
endforeach()
if(otherCreate IN_LIST mxNames)
  list(APPEND failures "imports ${otherCreate}, of the other array interface")
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${MODULE}:\n  ${text}")
endif()
message(STATUS "exports: ${exports}; imports from: ${dlls}; from libmx.dll: ${mxNames}")
