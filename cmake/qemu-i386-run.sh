#!/bin/sh
# qemu-i386-run.sh PROGRAM [ARGUMENTS...]
# Runs a 32-bit x86 Linux program under user-mode emulation, the way ctest
# runs the 32-bit tests. Long tests are left out unless GTEST_FILTER says
# otherwise: under emulation they take too long, and they run natively anyway.
set -eu
qemu=${MG_QEMU_I386:-qemu-i386-static}
if ! command -v "$qemu" >/dev/null 2>&1; then
  echo "qemu-i386-run.sh: $qemu not found (Debian package qemu-user-static)" >&2
  exit 127
fi
export GTEST_FILTER="${GTEST_FILTER:--*Long*}"
exec "$qemu" "$@"
