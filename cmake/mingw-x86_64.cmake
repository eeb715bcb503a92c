# 64-bit Windows (PE32+, x86-64): marrowgate64.fll. The tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MG_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# A Wine prefix of its own inside the build folder, made on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh 64 ${CMAKE_BINARY_DIR}/wineprefix)
