# Adds the fuzz targets to a configure of the repository without a change to
# the top-level CMakeLists.txt: pass
#   -DCMAKE_PROJECT_marrowgate_INCLUDE=<repo>/fuzz/hook.cmake
# (fuzz/run.sh does). The targets are defined once every library target
# exists, at the end of the top-level file.
set(MG_FUZZ_DIR "${CMAKE_CURRENT_LIST_DIR}")
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL include "${MG_FUZZ_DIR}/targets.cmake")
