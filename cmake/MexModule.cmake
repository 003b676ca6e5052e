include(CheckLinkerFlag)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # LLVM's linker records the version node without the absolute symbol that GNU
  # ld adds for it, so the module's dynamic symbols are exactly its exports.
  check_linker_flag(CXX "-fuse-ld=lld" MEX_HAVE_LLD)
endif()

# The module extension the host expects on this platform (what mexext says).
if(WIN32)
  set(MEX_EXTENSION "mexw64")
elseif(APPLE)
  set(mexArch "${CMAKE_SYSTEM_PROCESSOR}")
  if(CMAKE_OSX_ARCHITECTURES)
    set(mexArch "${CMAKE_OSX_ARCHITECTURES}")
  endif()
  if(mexArch MATCHES "^(arm64|aarch64)$")
    set(MEX_EXTENSION "mexmaca64")
  elseif(mexArch STREQUAL "x86_64")
    set(MEX_EXTENSION "mexmaci64")
  else()
    message(FATAL_ERROR "A MEX bundle is built for one architecture, arm64 or x86_64; not '${mexArch}'.")
  endif()
else()
  set(MEX_EXTENSION "mexa64")
endif()

# The platform's name in modules.txt.
if(WIN32)
  set(MEX_PLATFORM windows)
elseif(APPLE)
  set(MEX_PLATFORM macos)
else()
  set(MEX_PLATFORM linux)
endif()

# read_module_list(<file>)
#
# Reads modules.txt: for each module built here (on MEX_PLATFORM, and named
# in MEX_MODULES when that is set), MEX_MODULE_<name>_FOLDER (its kernels)
# and _ARRAYS; the names in MEX_BUILT_MODULES and their kernel folders in
# MEX_KERNEL_FOLDERS (all in the parent scope).
function(read_module_list file)
  file(STRINGS "${file}" lines REGEX "^[^#]")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  set(built "")
  set(folders "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 4)
      message(FATAL_ERROR "${file}: '${line}' does not have four fields")
    endif()
    list(GET fields 0 name)
    list(GET fields 1 folder)
    list(GET fields 2 arrays)
    list(GET fields 3 platforms)
    string(REPLACE "," ";" platforms "${platforms}")
    if(NOT MEX_PLATFORM IN_LIST platforms OR (MEX_MODULES AND NOT name IN_LIST MEX_MODULES))
      continue()
    endif()
    list(APPEND built ${name})
    list(APPEND folders ${folder})
    set(MEX_MODULE_${name}_FOLDER ${folder} PARENT_SCOPE)
    set(MEX_MODULE_${name}_ARRAYS ${arrays} PARENT_SCOPE)
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(MEX_BUILT_MODULES "${built}" PARENT_SCOPE)
  set(MEX_KERNEL_FOLDERS "${folders}" PARENT_SCOPE)
endfunction()

# add_kernel_library(<folder>)
#
# <folder>Kernels: every source of the folder, as a static library that knows
# nothing of the host. Made once per folder.
function(add_kernel_library folder)
  if(TARGET ${folder}Kernels)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
  add_library(${folder}Kernels STATIC ${sources})
  target_include_directories(${folder}Kernels PUBLIC "${PROJECT_SOURCE_DIR}")
  set_target_properties(${folder}Kernels PROPERTIES CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${folder}Kernels PUBLIC common)
  if(NOT MEX_SERIAL)
    target_link_libraries(${folder}Kernels PUBLIC OpenMP::OpenMP_CXX)
  endif()
endfunction()

# add_mex_module(<name> API <compat32|large> SOURCES <files...> [CONTRACT <module>] [LINK <targets...>])
#
# With CONTRACT, the entry point is mex/entry.cpp serving that module's
# contract (modules/<module>.cpp, among the SOURCES); without it, the SOURCES
# define mexFunction themselves.
# A MEX module as the host loads it, named <name>.<MEX_EXTENSION> in
# MEX_OUTPUT_DIR, exporting mexFunction (and, with the 64-bit array interface,
# the API-version record) and nothing else, importing the MX operations from
# libmx (and libmex) under the host's link names.
#   Linux:   shared object; exports bound to symbol version MEX by a version script.
#   Windows: DLL; export table from a .def file; imports through libmx.lib and
#            libmex.lib made from the stand-in's .def files; the thread runtime
#            DLLs are copied beside the module (see below).
#   macOS:   bundle exporting _mexFunction (and _mexfilerequiredapiversion);
#            serial, no thread runtime.
function(add_mex_module name)
  cmake_parse_arguments(ARG "" "API;CONTRACT" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  if(ARG_CONTRACT)
    target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/mex/entry.cpp")
    target_compile_definitions(${name} PRIVATE MEX_MODULE=${ARG_CONTRACT})
  endif()
  target_link_libraries(${name} PRIVATE mexGateway ${ARG_LINK})
  target_compile_definitions(${name} PRIVATE USE_BUNDLED_MX_API)
  if(NOT MEX_SERIAL)
    target_link_libraries(${name} PRIVATE OpenMP::OpenMP_CXX)
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".${MEX_EXTENSION}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    SKIP_BUILD_RPATH ON
    LIBRARY_OUTPUT_DIRECTORY "${MEX_OUTPUT_DIR}")
  if(ARG_API STREQUAL "compat32")
    target_compile_definitions(${name} PRIVATE MX_COMPAT_32)
  else()
    target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/mex/apiVersion.cpp")
  endif()

  if(WIN32)
    if(ARG_API STREQUAL "compat32")
      target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/mex/mexFunction.def")
    else()
      target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/mex/mexFunctionApi.def")
    endif()
    target_link_libraries(${name} PRIVATE mxImport mexImport)
    # The C++ runtime goes into the module, so no libstdc++ DLL of some other
    # version, loaded earlier by name, can stand in for it. The OpenMP runtime
    # cannot: its worker threads outlive the module after `clear mex`, so it
    # must be a DLL of its own that the module pins in the process
    # (common/threadRuntime.cpp). It and the DLLs it needs are copied beside
    # the module, where the host's loader finds a module's dependencies.
    target_link_options(${name} PRIVATE -static-libgcc -static-libstdc++ "-Wl,--no-undefined")
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND "${CMAKE_COMMAND}" -DFILE=$<TARGET_FILE:${name}> -DDEST=${MEX_OUTPUT_DIR}
              -DOBJDUMP=${MINGW_OBJDUMP} -DCOMPILER=${CMAKE_CXX_COMPILER} "-DSKIP=libmx.dll;libmex.dll"
              -P "${PROJECT_SOURCE_DIR}/cmake/copyRuntimeDlls.cmake"
      VERBATIM)
  elseif(APPLE)
    target_link_libraries(${name} PRIVATE mx mex)
    set(exports "-Wl,-exported_symbol,_mexFunction")
    if(NOT ARG_API STREQUAL "compat32")
      list(APPEND exports "-Wl,-exported_symbol,_mexfilerequiredapiversion")
    endif()
    target_link_options(${name} PRIVATE ${exports})
  else()
    target_link_libraries(${name} PRIVATE mx mex)
    if(ARG_API STREQUAL "compat32")
      set(map "${PROJECT_SOURCE_DIR}/mex/mexFunction.map")
    else()
      set(map "${PROJECT_SOURCE_DIR}/mex/mexFunctionApi.map")
    endif()
    target_link_options(${name} PRIVATE "-Wl,--version-script=${map}" "-Wl,--no-undefined")
    if(MEX_HAVE_LLD)
      target_link_options(${name} PRIVATE "-fuse-ld=lld")
    endif()
    set_target_properties(${name} PROPERTIES LINK_DEPENDS "${map}")
  endif()
endfunction()
