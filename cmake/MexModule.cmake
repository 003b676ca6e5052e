include(CheckLinkerFlag)
# LLVM's linker records the version node without the absolute symbol that GNU
# ld adds for it, so the module's dynamic symbols are exactly its exports.
check_linker_flag(CXX "-fuse-ld=lld" MEX_HAVE_LLD)

# add_mex_module(<name> API <compat32|large> SOURCES <files...> [LINK <targets...>])
#
# A MEX module as the host loads it: a shared object named <name>.<mexext> in
# MEX_OUTPUT_DIR, exporting mexFunction (and the API-version record for the
# 64-bit interface) with symbol version MEX and nothing else, importing the MX
# operations from libmx (and libmex) under the host's link names.
function(add_mex_module name)
  cmake_parse_arguments(ARG "" "API" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE mexGateway ${ARG_LINK} mx mex)
  target_compile_definitions(${name} PRIVATE USE_BUNDLED_MX_API)
  if(ARG_API STREQUAL "compat32")
    target_compile_definitions(${name} PRIVATE MX_COMPAT_32)
    set(map "${PROJECT_SOURCE_DIR}/gateway/mexFunction.map")
  else()
    target_sources(${name} PRIVATE "${PROJECT_SOURCE_DIR}/gateway/apiVersion.cpp")
    set(map "${PROJECT_SOURCE_DIR}/gateway/mexFunctionApi.map")
  endif()
  if(NOT MEX_SERIAL)
    target_link_libraries(${name} PRIVATE OpenMP::OpenMP_CXX)
  endif()
  target_link_options(${name} PRIVATE "-Wl,--version-script=${map}" "-Wl,--no-undefined")
  if(MEX_HAVE_LLD)
    target_link_options(${name} PRIVATE "-fuse-ld=lld")
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    SUFFIX ".mexa64"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    SKIP_BUILD_RPATH ON
    LINK_DEPENDS "${map}"
    LIBRARY_OUTPUT_DIRECTORY "${MEX_OUTPUT_DIR}")
endfunction()
