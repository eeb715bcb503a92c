#!/usr/bin/env bash
# Constant-time checks (docs/reliability.md): tests/ct/ct_memcheck under
# Valgrind's memcheck, which reports any branch or memory address that depends
# on a secret, on every implementation tier Valgrind can execute; a control run
# that must be reported; then tests/ct/ct_timing, the statistical timing test
# for the tiers Valgrind cannot execute (AVX-512, VAES, SHA extensions).
#   scripts/constant-time.sh [measurements per timing path, default 200000]
# Uses the shipping build's flags, in build/ as scripts/test.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
command -v valgrind >/dev/null || { echo "constant-time.sh: valgrind missing; run scripts/install-deps.sh" >&2; exit 1; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target ct_memcheck ct_timing

echo "== memcheck: no secret reaches a branch or an address"
valgrind --tool=memcheck --error-exitcode=1 -q build/bin/ct_memcheck

echo "== memcheck control: the portable Rijndael rounds and the CRCs must be reported"
if valgrind --tool=memcheck --error-exitcode=1 -q build/bin/ct_memcheck --leaky >/dev/null 2>&1; then
  echo "constant-time.sh: the known table look-ups were not reported; the check is blind" >&2
  exit 1
fi
echo "reported, as they must be"

echo "== timing test (fixed against random secrets, Welch's t) on the tiers Valgrind cannot run"
build/bin/ct_timing "${1:-200000}"
