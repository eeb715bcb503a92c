#!/usr/bin/env bash
# Builds the 32-bit and Windows variants and runs what can run on this machine:
#  - 32-bit x86 Linux under qemu-i386: the exact 32-bit records and fastcall;
#  - 64-bit Windows under Wine: the Windows platform layer, end to end;
#  - 32-bit Windows, which cannot run here: marrowgate.fll is checked with objdump.
# Tests long by nature are left out under emulation (the emulator wrappers in
# cmake/ set GTEST_FILTER=-*Long*); the native run in scripts/test.sh has them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

missing=()
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-objdump \
  x86_64-w64-mingw32-objdump qemu-i386-static; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[[ -x /usr/lib/wine/wine64 ]] || command -v wine64 >/dev/null 2>&1 || missing+=(wine64)
echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null || missing+=("g++ -m32")
if ((${#missing[@]})); then
  echo "test-cross.sh: missing ${missing[*]}; run scripts/install-deps.sh as root" >&2
  exit 1
fi

echo "== 32-bit x86 Linux, tests under qemu-i386"
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-i386 -j"$jobs"
ctest --test-dir build-i386 --output-on-failure -j"$jobs"

echo "== 64-bit Windows (marrowgate64.fll), tests under Wine"
# The modules are stripped: Windows debuggers cannot use their DWARF anyway.
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_MODULE_LINKER_FLAGS=-s >/dev/null
cmake --build build-win64 -j"$jobs"
# One wineserver for the whole run. Left to itself, the server quits a few
# seconds after its last client, and a test starting in that moment loses its
# connection ("wine client error ... Connection reset by peer").
wineserver=/usr/lib/wine/wineserver64
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || true)
prefix="$PWD/build-win64/wineprefix"
mkdir -p "$prefix"
if [[ -n $wineserver ]]; then
  WINEPREFIX="$prefix" "$wineserver" -p </dev/null >/dev/null 2>&1
  trap 'WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true' EXIT
fi
ctest --test-dir build-win64 --output-on-failure -j"$jobs"
if [[ -n $wineserver ]]; then
  WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
  trap - EXIT
fi
./scripts/check-windows-module.sh x86-64 build-win64/bin/marrowgate64.fll

echo "== 32-bit Windows (marrowgate.fll)"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_MODULE_LINKER_FLAGS=-s -DMG_BUILD_TESTS=OFF -DMG_BUILD_TOOLS=OFF >/dev/null
cmake --build build-win32 -j"$jobs" --target marrowgate
./scripts/check-windows-module.sh i386 build-win32/bin/marrowgate.fll
