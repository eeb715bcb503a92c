#!/bin/sh
# wine-run.sh 32|64 PREFIX PROGRAM [ARGUMENTS...]
# Runs a 32- or 64-bit Windows program under Wine with its own prefix, the way
# ctest runs the cross-built tests. Long tests are left out unless GTEST_FILTER
# says otherwise: under Wine they take too long, and they run natively anyway.
set -eu
bits=$1
prefix=$2
shift 2
case $prefix in
  /*) ;;
  *) prefix=$(pwd)/$prefix ;;  # Wine wants an absolute prefix
esac
case $bits in
  32) wine=${MG_WINE32:-/usr/lib/wine/wine} package=wine32:i386 arch=win32 ;;
  64) wine=${MG_WINE64:-/usr/lib/wine/wine64} package=wine64 arch=win64 ;;
  *) echo "wine-run.sh: first argument must be 32 or 64" >&2; exit 2 ;;
esac
if [ ! -x "$wine" ]; then
  echo "wine-run.sh: no $bits-bit Wine loader at $wine (Debian package $package)" >&2
  exit 127
fi

export WINEPREFIX="$prefix"
export WINEARCH="$arch"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: the prefix is made without network or dialogs.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export GTEST_FILTER="${GTEST_FILTER:--*Long*}"

# Parallel test runs would otherwise race to create the same prefix.
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      # Wine's services outlive wineboot while a server runs: they must not
      # inherit the lock, or every later run would wait for it.
      "$wine" wineboot --init >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$prefix.lock"
fi

exec "$wine" "$@"
