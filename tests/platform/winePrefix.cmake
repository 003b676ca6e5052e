# cmake -DWINE=<wine64> -P winePrefix.cmake, with WINEPREFIX set: makes the
# Wine prefix the Windows tests run in, without a display and without the
# optional .NET and browser components, and waits until Wine is done with it.
cmake_minimum_required(VERSION 3.25)
get_filename_component(wineDir "${WINE}" DIRECTORY)
find_program(WINESERVER NAMES wineserver64 wineserver PATHS "${wineDir}" /usr/lib/wine REQUIRED)
execute_process(COMMAND "${WINE}" wineboot --init RESULT_VARIABLE rc ERROR_QUIET)
execute_process(COMMAND "${WINESERVER}" --wait)
if(NOT rc EQUAL 0 OR NOT EXISTS "$ENV{WINEPREFIX}/system.reg")
  message(FATAL_ERROR "wineboot could not set up $ENV{WINEPREFIX} (exit ${rc})")
endif()
message(STATUS "Wine prefix ready: $ENV{WINEPREFIX}")
