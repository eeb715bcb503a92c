#!/bin/sh
# i386-run.sh PROGRAM [ARGUMENTS...]
# Runs a 32-bit x86 Linux program the way ctest runs the 32-bit tests: natively
# when MG_I386_NATIVE=1 (scripts/test-cross.sh sets it after checking that the
# kernel runs 32-bit programs), else under user-mode emulation. Emulated, long
# tests are left out unless GTEST_FILTER says otherwise; they run natively.
set -eu
if [ "${MG_I386_NATIVE:-0}" = 1 ]; then
  exec "$@"
fi
qemu=${MG_QEMU_I386:-qemu-i386-static}
if ! command -v "$qemu" >/dev/null 2>&1; then
  echo "i386-run.sh: $qemu not found (Debian package qemu-user-static)" >&2
  exit 127
fi
export GTEST_FILTER="${GTEST_FILTER:--*Long*}"
exec "$qemu" "$@"
