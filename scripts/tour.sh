#!/usr/bin/env bash
# Installs what is missing, builds the library and runs its demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --build
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target marrowgate marrowgate-cli
./build/bin/marrowgate tour
