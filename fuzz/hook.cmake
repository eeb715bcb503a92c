# Adds the fuzz targets, once every library target exists, to a configure given
# -DCMAKE_PROJECT_marrowgate_INCLUDE=<repo>/fuzz/hook.cmake (as fuzz/run.sh does).
set(MG_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL include "${MG_FUZZ_DIR}/targets.cmake")
