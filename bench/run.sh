#!/usr/bin/env bash
# bench/run.sh [--m32] [--tier2] [Google Benchmark options...]
# Builds the benchmark program (-DMG_BUILD_BENCH=ON, optimised as the shipping
# build: RelWithDebInfo) and runs every row: the library against the peer
# libraries on this machine, in one run.
# The report goes to bench/results/latest.md (the table) and latest.json, and
# the table replaces the one between the bench markers in $MG_BENCH_TARGET.
# With --m32 the same rows run again in a 32-bit x86 build (cmake/linux-i386.cmake)
# against Debian's i386 peers (those that install beside the 64-bit ones):
# bench/results/latest-i386.md, with each 32-bit row's ratio to the same row
# of the 64-bit run just made, goes between the bench-i386 markers.
# With --tier2 the 64-bit rows run again with the whole library capped below
# AVX-512 (MG_ACCEL_LIMIT=2: what processors without it run) and that table
# goes between the bench-tier2 markers (bench/results/latest-tier2.md).
#
#   MG_BENCH_TARGET  file with the tables (default docs/performance.md)
#   MG_BENCH_BUILD   build folder (default build-bench; build-bench-i386 for --m32)
#   MG_BENCH_DIR     folder for the 256 MiB files (default /dev/shm, else /tmp)
#   MG_BENCH_ACCEL   cap the library's implementation tier (0 = portable),
#                    everywhere: it sets MG_ACCEL_LIMIT, which cpu detection reads
#   MG_BENCH_README=0  leave docs/performance.md alone
# Extra arguments go to the program, e.g. --benchmark_filter='AES-128'.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${MG_BENCH_BUILD:-build-bench}
build32=${MG_BENCH_BUILD:-build-bench}-i386
target=${MG_BENCH_TARGET:-docs/performance.md}
m32=0
tier2=0
while [[ ${1:-} == --m32 || ${1:-} == --tier2 ]]; do
  [[ $1 == --m32 ]] && m32=1
  [[ $1 == --tier2 ]] && tier2=1
  shift
done
# The objects the benchmark makes itself take MG_BENCH_ACCEL; the library
# loaded through the substitute host, the digests and the AEADs see the cap
# through the CPU features.
if [[ -n ${MG_BENCH_ACCEL:-} ]]; then export MG_ACCEL_LIMIT=${MG_ACCEL_LIMIT:-$MG_BENCH_ACCEL}; fi

# The peers are needed only here, not for the library or its tests.
peers=(libbenchmark-dev libssl-dev libcrypto++-dev libbotan-2-dev libmcrypt-dev libargon2-dev zlib1g-dev)
if ((m32)); then
  # Botan and libmcrypt have no i386 packages that install beside the 64-bit ones.
  peers+=(libbenchmark-dev:i386 libssl-dev:i386 libcrypto++-dev:i386 zlib1g-dev:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt-get update -qq
  fi
fi
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

if ((tier2)); then
  # The peers run as on such a processor too: OpenSSL's own switch clears its
  # AVX-512 paths (CPUID leaf 7: EBX bits F, DQ, IFMA, PF, ER, CD, BW, VL;
  # ECX bits VBMI, VBMI2, VNNI, BITALG, VPOPCNTDQ). Botan and Crypto++ as
  # installed here have no 512-bit code.
  OPENSSL_ia32cap=":~0x5842DC230000" \
  MG_ACCEL_LIMIT=2 MG_BENCH_ACCEL=2 "$build/bin/mg_bench" --benchmark_min_time=0.2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=false --report=bench/results/latest-tier2 "$@"
  sed -i 's/^Machine: \(.*\)$/Machine: \1; capped below AVX-512 (MG_ACCEL_LIMIT=2, OpenSSL likewise)/' bench/results/latest-tier2.md
fi

if ((m32)); then
  # The 32-bit peers' headers are the 64-bit ones plus the compiler's i386
  # folder; the toolchain file looks for libraries in the i386 folders only.
  cmake -S . -B "$build32" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMG_BUILD_BENCH=ON -DMG_BUILD_TESTS=OFF -DMG_BUILD_TOOLS=OFF \
    -Dbenchmark_DIR=/usr/lib/i386-linux-gnu/cmake/benchmark -DOPENSSL_INCLUDE_DIR=/usr/include \
    -DZLIB_INCLUDE_DIR=/usr/include >/dev/null
  cmake --build "$build32" -j"$jobs" --target mg_bench marrowgate
  "$build32/bin/mg_bench" --benchmark_min_time=0.2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=false --report=bench/results/latest-i386-raw "$@"
  # Each 32-bit row against the library's own 64-bit row of this run: SHA-384
  # and SHA-512 (64-bit words) are to reach 0.6 of it, every other row 0.8;
  # and against the best 32-bit peer of the row: at least as fast.
  awk -F'|' '
    function trim(s) { gsub(/^ +| +$/, "", s); return s }
    FNR == NR { if ($0 ~ /^\| / && $2 !~ /^ row / && $2 !~ /^-/) { mg64[trim($2)] = trim($3); goal64[trim($2)] = trim($7) } next }
    /^\| row / { print $0 " 64-bit mg | 32/64 | goal | ÷ best 32-bit peer | goal | both met |"; next }
    /^\|---/ { print $0 "---:|---:|---:|---:|---:|:-:|"; next }
    /^\| / {
      row = trim($2); ours = trim($3); theirs = mg64[row]
      ratio = "-"; goal = "-"; ok64 = -1
      if (theirs != "" && ours + 0 > 0 && theirs + 0 > 0) {
        ratio = sprintf("%.2f", (ours + 0) / (theirs + 0))
        if (goal64[row] != "-" && goal64[row] != "") {
          want = row ~ /SHA-(384|512)/ ? 0.6 : 0.8
          goal = sprintf("≥ %.2f", want)
          ok64 = ratio + 0 >= want
        }
      }
      peer = trim($4); split(peer, parts, " "); peerRate = parts[2] + 0
      peerRatio = "-"; peerGoal = "-"; okPeer = -1
      if (peer != "-" && peerRate > 0 && ours + 0 > 0) {
        peerRatio = sprintf("%.2f", (ours + 0) / peerRate)
        peerGoal = "≥ 1.00"
        okPeer = peerRatio + 0 >= 1.0
      }
      met = ""
      if (ok64 >= 0 || okPeer >= 0) met = (ok64 != 0 && okPeer != 0) ? "yes" : "**no**"
      print $0 " " (theirs == "" ? "-" : theirs) " | " ratio " | " goal " | " peerRatio " | " peerGoal " | " met " |"
      next
    }
    /^Machine: / { sub(/^Machine: /, "Machine (32-bit x86 build, -m32): "); print; next }
    { print }
  ' bench/results/latest.md bench/results/latest-i386-raw.md > bench/results/latest-i386.md
  rm -f bench/results/latest-i386-raw.md
  mv bench/results/latest-i386-raw.json bench/results/latest-i386.json
fi

# Replaces what lies between <!-- NAME:begin --> and <!-- NAME:end --> in the
# target file with a table; missing markers go at the end of the file.
replace_table() {
  local name=$1 table=$2
  if ! grep -q "<!-- $name:begin -->" "$target"; then
    printf '\n<!-- %s:begin -->\n<!-- %s:end -->\n' "$name" "$name" >> "$target"
  fi
  awk -v table="$table" -v begin="<!-- $name:begin -->" -v end="<!-- $name:end -->" '
    $0 == begin { print; while ((getline line < table) > 0) print line; skip = 1; next }
    $0 == end { skip = 0 }
    !skip { print }
  ' "$target" > "$target.new" && mv "$target.new" "$target"
}

if [[ ${MG_BENCH_README:-1} != 0 && $# -eq 0 ]]; then
  # Only a full run may stand in the target file.
  replace_table bench bench/results/latest.md
  if ((m32)); then replace_table bench-i386 bench/results/latest-i386.md; fi
  if ((tier2)); then replace_table bench-tier2 bench/results/latest-tier2.md; fi
  echo "$target updated"
fi
