#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Runs a 64-bit Windows program under Wine with its own prefix, the way ctest
# runs the cross-built tests. Long tests are left out unless GTEST_FILTER says
# otherwise: under emulation they take too long, and they run natively anyway.
set -eu
prefix=$1
shift
case $prefix in
  /*) ;;
  *) prefix=$(pwd)/$prefix ;;  # Wine wants an absolute prefix
esac
wine=${MG_WINE64:-/usr/lib/wine/wine64}
if [ ! -x "$wine" ]; then
  wine=$(command -v wine64 || true)
fi
if [ -z "$wine" ]; then
  echo "wine-run.sh: no 64-bit Wine loader (Debian package wine64)" >&2
  exit 127
fi

export WINEPREFIX="$prefix"
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
