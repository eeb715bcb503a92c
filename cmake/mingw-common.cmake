# Shared part of the mingw-w64 toolchains; expects MG_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: GoogleTest needs std::mutex, which the win32 thread
# model lacks.
set(CMAKE_C_COMPILER ${MG_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MG_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MG_MINGW_TRIPLET}-windres)

# Look for libraries and headers only in the mingw sysroot, so that none of the
# build machine's own (OpenSSL and the other test oracles) are picked up.
set(CMAKE_FIND_ROOT_PATH /usr/${MG_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static linking (-static in the top-level CMakeLists.txt) also takes
# libwinpthread, which the posix thread model brings, out of the imports.

# pkg-config would otherwise report the build machine's own packages.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${MG_MINGW_TRIPLET}/lib/pkgconfig)
