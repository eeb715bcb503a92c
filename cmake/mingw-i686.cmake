# 32-bit Windows (PE32, i386): the marrowgate.fll that the host loads.
# Its programs cannot run on the build machine; only the module is checked.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MG_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
