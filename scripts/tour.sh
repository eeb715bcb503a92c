#!/usr/bin/env bash
# Installs what building needs, builds the library and the tool, and runs the
# demonstration. The package manager's and the compiler's output go to logs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --build
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p build
log=build/tour-build.log
echo "building the library and the tool (log: $log)"
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build build -j"$jobs" --target marrowgate marrowgate-cli; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "tour.sh: the build failed; its output is in $log" >&2
  exit 1
fi
./build/bin/marrowgate tour
