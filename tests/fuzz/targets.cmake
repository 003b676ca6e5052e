# One libFuzzer target per module: the module's entry, its gateway and its
# kernels linked into the fuzzer (statically, so their coverage guides it),
# called through the stand-in host's libmx and libmex. See docs/fuzzing.md.
add_library(fuzzCall STATIC "${CMAKE_CURRENT_LIST_DIR}/fuzzCall.cpp")
target_link_libraries(fuzzCall PUBLIC standInHost)
target_compile_definitions(fuzzCall PRIVATE FUZZ_HELP_DIR="${PROJECT_SOURCE_DIR}/matlab/help")

# Where the seeded runs leave an input that failed.
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/findings")

# Executions of each target in the test suite, from a fixed seed.
set(MEX_FUZZ_RUNS 40000 CACHE STRING "Executions of each fuzz target in its seeded test")

foreach(name IN LISTS MEX_BUILT_MODULES)
  add_executable(${name}Fuzz "${CMAKE_CURRENT_LIST_DIR}/${name}Fuzz.cpp" "${PROJECT_SOURCE_DIR}/modules/${name}.cpp"
                            "${PROJECT_SOURCE_DIR}/mex/entry.cpp")
  target_link_libraries(${name}Fuzz PRIVATE fuzzCall mexGateway ${MEX_MODULE_${name}_FOLDER}Kernels)
  target_compile_definitions(${name}Fuzz PRIVATE USE_BUNDLED_MX_API= MEX_MODULE=${name})  # as tests/host/mxArray.h defines it
  if(MEX_MODULE_${name}_ARRAYS STREQUAL "compat32")
    target_compile_definitions(${name}Fuzz PRIVATE MX_COMPAT_32)
  endif()
  target_link_options(${name}Fuzz PRIVATE -fsanitize=fuzzer)

  # Every kept input once (the seed corpus and the regressions, each of which
  # was a finding), then a fixed number of new ones from a fixed seed.
  set(corpus "${CMAKE_CURRENT_LIST_DIR}/corpus/${name}")
  set(regressions "${CMAKE_CURRENT_LIST_DIR}/regressions/${name}")
  add_test(NAME fuzz.${name}.replay COMMAND ${name}Fuzz -runs=0 "${corpus}" "${regressions}")
  file(GLOB seeds CONFIGURE_DEPENDS "${corpus}/*" "${regressions}/*")
  string(JOIN "," seeds ${seeds})
  add_test(NAME fuzz.${name}.seeded
           COMMAND ${name}Fuzz -seed=1 -runs=${MEX_FUZZ_RUNS} -max_len=16384 -timeout=1 "-seed_inputs=${seeds}"
                   "-artifact_prefix=${CMAKE_BINARY_DIR}/findings/${name}-")
  # Idle team threads sleep rather than spin on the shared cores.
  set_tests_properties(fuzz.${name}.replay fuzz.${name}.seeded PROPERTIES
                       ENVIRONMENT "OMP_NUM_THREADS=2;OMP_WAIT_POLICY=passive")
endforeach()
