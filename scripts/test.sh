#!/usr/bin/env bash
# Installs what is missing, builds the library and runs every test: natively,
# then the 32-bit and Windows variants (scripts/test-cross.sh) and the release
# packages (scripts/package.sh). `test.sh --native` runs the native part only.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
if [[ ${1:-} != --native ]]; then
  ./scripts/test-cross.sh
  echo "== release packages (dist/), rebuilt and checked"
  ./scripts/package.sh
fi
