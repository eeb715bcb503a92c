#!/usr/bin/env bash
# bench/run.sh [Google Benchmark options...]
# Builds the benchmark program (-DMG_BUILD_BENCH=ON, optimised as the shipping
# build: RelWithDebInfo) and runs every row: the library against the peer
# libraries on this machine, in one run.
# The report goes to bench/results/latest.md (the table) and latest.json, and
# the table replaces the one between the bench markers in docs/performance.md.
#
#   MG_BENCH_BUILD   build folder (default build-bench)
#   MG_BENCH_DIR     folder for the 256 MiB files (default /dev/shm, else /tmp)
#   MG_BENCH_ACCEL   cap the library's implementation tier (0 = portable)
#   MG_BENCH_README=0  leave docs/performance.md alone
# Extra arguments go to the program, e.g. --benchmark_filter='AES-128'.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${MG_BENCH_BUILD:-build-bench}

# The peers are needed only here, not for the library or its tests.
peers=(libbenchmark-dev libssl-dev libcrypto++-dev libbotan-2-dev libmcrypt-dev libargon2-dev zlib1g-dev)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing the benchmark's peers: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMG_BUILD_BENCH=ON -DMG_BUILD_TESTS=OFF \
  -DMG_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target mg_bench marrowgate

mkdir -p bench/results
# Three repetitions, the best of which counts: other work on the machine only
# ever slows a run down.
"$build/bin/mg_bench" --benchmark_min_time=0.2 --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=false --report=bench/results/latest "$@"

if [[ ${MG_BENCH_README:-1} != 0 && $# -eq 0 ]]; then
  # Only a full run may stand in the documentation.
  page=docs/performance.md
  awk -v table=bench/results/latest.md '
    /<!-- bench:begin -->/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /<!-- bench:end -->/ { skip = 0 }
    !skip { print }
  ' "$page" > "$page.new" && mv "$page.new" "$page"
  echo "$page updated"
fi
