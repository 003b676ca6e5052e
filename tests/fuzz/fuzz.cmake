# Included after project() by the fuzz preset (CMAKE_PROJECT_mexKernels_INCLUDE):
# once the whole project is defined (the modules' kernel libraries among it),
# adds the fuzz targets and their tests (targets.cmake). The kernels, the
# gateway and the stand-in host are compiled with the preset's
# -fsanitize=fuzzer-no-link,address,undefined, so libFuzzer sees their coverage.
enable_testing()
# (A deferred call's arguments are evaluated when it runs.)
set(MEX_FUZZ_TARGETS "${CMAKE_CURRENT_LIST_DIR}/targets.cmake")
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL include "${MEX_FUZZ_TARGETS}")
