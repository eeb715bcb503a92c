#!/usr/bin/env bash
# configure-windows.sh 32|64 [cmake options...]
# Configures build-win32/ or build-win64/ as the Windows release is built:
# release configuration, stripped (Windows debuggers cannot use the DWARF
# anyway), the C++ runtime linked statically. scripts/test-cross.sh runs the
# test suite in this folder and scripts/package.sh packs the module and tool
# from it, so the tests load the very file that ships.
set -euo pipefail
cd "$(dirname "$0")/.."
case ${1:-} in
  32) toolchain=cmake/mingw-i686.cmake ;;
  64) toolchain=cmake/mingw-x86_64.cmake ;;
  *) echo "usage: $0 32|64 [cmake options...]" >&2; exit 2 ;;
esac
bits=$1
shift
cmake -S . -B "build-win$bits" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_MODULE_LINKER_FLAGS=-s -DCMAKE_EXE_LINKER_FLAGS=-s "$@" >/dev/null
