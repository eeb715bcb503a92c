#!/usr/bin/env bash
# Reliability checks beyond the ordinary and AddressSanitizer test runs: the
# thread stress test under ThreadSanitizer, and a short run of every fuzz
# target (fuzz/run.sh, clang with libFuzzer).
#   scripts/reliability.sh [seconds per fuzz target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
jobs=$(nproc 2>/dev/null || echo 2)

echo "== thread stress test under ThreadSanitizer"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMG_SANITIZE=thread -DMG_BUILD_TOOLS=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target test_stress
# The module carries the same runtime as the test program that loads it.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/bin/test_stress

echo "== every fuzz target, ${seconds}s each"
fuzz/run.sh "$seconds"
