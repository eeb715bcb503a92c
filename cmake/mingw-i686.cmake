# 32-bit Windows (PE32, i386): the marrowgate.fll that the host loads. The
# tests run under the 32-bit Wine loader.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MG_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# A 32-bit Windows caller guarantees only 4-byte stack alignment, at the entry
# point and in thread routines alike. Left to itself GCC assumes 16 bytes and
# spills vector registers with aligned moves; told the truth, it realigns the
# stack in the functions that need it.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
# A Wine prefix of its own inside the build folder, made on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh 32 ${CMAKE_BINARY_DIR}/wineprefix)
