#!/usr/bin/env bash
# Builds the 32-bit and Windows variants and runs their whole test suites:
#  - 32-bit x86 Linux: natively where the kernel runs 32-bit programs, else
#    under qemu-i386 (which leaves out the tests long by nature);
#  - 64-bit Windows (marrowgate64.fll) under the 64-bit Wine loader;
#  - 32-bit Windows (marrowgate.fll) under the 32-bit Wine loader. Its tests
#    and tool load the module that ships: stripped, static runtime, the one
#    export @DispatchAPI@4, from the folder the release is packed from;
#  - then files written by each build must open with the others.
# What this machine cannot run is named in a "left out:" line; the rest runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

missing=()
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-objdump \
  x86_64-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null || missing+=("g++ -m32")
if ((${#missing[@]})); then
  echo "test-cross.sh: missing ${missing[*]}; run scripts/install-deps.sh as root" >&2
  exit 1
fi

left_out=()
leave_out() {
  echo "left out: $*"
  left_out+=("$*")
}

# One wineserver for a whole run. Left to itself, the server quits a few
# seconds after its last client, and a test starting in that moment loses its
# connection. The prefix and Wine's services are started here, with no
# terminal or pipe of ctest's: a service that a test started would hold that
# test's output open, and ctest would wait for it for ever.
wineserver=/usr/lib/wine/wineserver64
[[ -x $wineserver ]] || wineserver=/usr/lib/wine/wineserver32
[[ -x $wineserver ]] || wineserver=$(command -v wineserver || true)
servers=()
wine_up() {  # BITS BUILD-DIR
  local loader=/usr/lib/wine/wine prefix="$PWD/$2/wineprefix"
  [[ $1 == 64 ]] && loader=/usr/lib/wine/wine64
  local env=(env WINEPREFIX="$prefix" WINEARCH="win$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
  mkdir -p "$prefix"
  if [[ ! -f $prefix/system.reg ]]; then
    # A new prefix takes its word size from the loader that makes it, not
    # from a server that is already up: make it first.
    "${env[@]}" "$loader" wineboot --init </dev/null >/dev/null 2>&1 || true
  fi
  # A server left from making the prefix or from an earlier step (perhaps
  # still shutting down) would make the persistent one below exit with 2 and
  # then quit when idle itself: stop it and wait until it is gone first.
  "${env[@]}" "$wineserver" -k 2>/dev/null || true
  "${env[@]}" "$wineserver" -w 2>/dev/null || true
  "${env[@]}" "$wineserver" -p </dev/null >/dev/null 2>&1 || true
  servers+=("$prefix")
  "${env[@]}" "$loader" wineboot </dev/null >/dev/null 2>&1 || true
}
wine_down() {
  local prefix
  for prefix in "${servers[@]}"; do
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    WINEPREFIX=$prefix "$wineserver" -w 2>/dev/null || true
  done
  servers=()
}
trap wine_down EXIT

have_wine32=0 have_wine64=0
[[ -n $wineserver && -x /usr/lib/wine/wine ]] && have_wine32=1
[[ -n $wineserver && -x /usr/lib/wine/wine64 ]] && have_wine64=1

echo "== 32-bit x86 Linux"
probe=$(mktemp)
echo 'int main() { return 0; }' | gcc -m32 -x c - -o "$probe" 2>/dev/null
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-i386 -j"$jobs"
if "$probe" 2>/dev/null; then
  echo "(natively: this kernel runs 32-bit programs)"
  MG_I386_NATIVE=1 ctest --test-dir build-i386 --output-on-failure -j"$jobs"
elif command -v qemu-i386-static >/dev/null 2>&1; then
  echo "(under qemu-i386: this kernel does not run 32-bit programs)"
  ctest --test-dir build-i386 --output-on-failure -j"$jobs"
else
  leave_out "the 32-bit x86 Linux tests (no 32-bit support in this kernel and no qemu-i386-static)"
fi
rm -f "$probe"

# The Windows builds are configured as they ship (scripts/configure-windows.sh),
# and scripts/package.sh packs their module and tool: the tests load the very
# file that is distributed.
echo "== 64-bit Windows (marrowgate64.fll)"
./scripts/configure-windows.sh 64 -DMG_BUILD_TESTS=ON
cmake --build build-win64 -j"$jobs"
./scripts/check-windows-module.sh x86-64 build-win64/bin/marrowgate64.fll
if ((have_wine64)); then
  wine_up 64 build-win64
  ctest --test-dir build-win64 --output-on-failure -j"$jobs"
  wine_down
else
  leave_out "the 64-bit Windows tests (no 64-bit Wine loader: Debian package wine64)"
fi

echo "== 32-bit Windows (marrowgate.fll)"
./scripts/configure-windows.sh 32 -DMG_BUILD_TESTS=ON
cmake --build build-win32 -j"$jobs"
./scripts/check-windows-module.sh i386 build-win32/bin/marrowgate.fll
if ((have_wine32)); then
  wine_up 32 build-win32
  ctest --test-dir build-win32 --output-on-failure -j"$jobs"
  echo "-- the 32-bit tool's tour"
  sh cmake/wine-run.sh 32 build-win32/wineprefix build-win32/bin/marrowgate.exe tour | tail -n 1
  echo "-- the same with the portable code paths only"
  MG_PORTABLE=1 ctest --test-dir build-win32 --output-on-failure -j"$jobs" \
    -R '^(test_cipher|test_fileio|test_digest|test_checksum|test_functions|tool_tour)$'
  wine_down
else
  leave_out "the 32-bit Windows tests and tour (no 32-bit Wine loader: dpkg --add-architecture i386, Debian package wine32:i386)"
fi

echo "== files written by one build open with the others"
tools=("$PWD/build/bin/marrowgate")
[[ -x ${tools[0]} ]] || cmake --build build -j"$jobs" --target marrowgate marrowgate-cli
((have_wine32)) && tools+=("sh $PWD/cmake/wine-run.sh 32 $PWD/build-win32/wineprefix $PWD/build-win32/bin/marrowgate.exe")
((have_wine64)) && tools+=("sh $PWD/cmake/wine-run.sh 64 $PWD/build-win64/wineprefix $PWD/build-win64/bin/marrowgate.exe")
if ((${#tools[@]} > 1)); then
  ((have_wine32)) && wine_up 32 build-win32
  ((have_wine64)) && wine_up 64 build-win64
  ./scripts/cross-files.sh "$PWD/build/cross-files" "${tools[@]}"
  wine_down
else
  leave_out "the cross-build file check (no Windows build can run here)"
fi

if ((${#left_out[@]})); then
  echo "test-cross.sh: ran everything but:"
  printf '  %s\n' "${left_out[@]}"
fi
