#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ (or $MG_FUZZ_BUILD) and runs each
# from its seeds in fuzz/corpus/ (long runs' inputs, minimised with -merge=1 -use_counters=0);
# new inputs go to <build>/corpus/, faults to <build>/artifacts/ and a non-zero exit.
#   fuzz/run.sh [seconds per target, default 30] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-30}
shift || true
build=${MG_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_PROJECT_marrowgate_INCLUDE="$root/fuzz/hook.cmake" \
  -DMG_SANITIZE=address,undefined,fuzzer-no-link -DMG_BUILD_TESTS=OFF -DMG_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target fuzzers >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then mapfile -t targets < "$build/fuzzers.txt"; fi
mkdir -p "$build/artifacts"
# Scratch files in memory where possible: the targets rewrite them for every input.
[[ -z ${TMPDIR:-} && -d /dev/shm ]] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  [[ -n $t ]] || continue
  mkdir -p "$build/corpus/$t"
  seeds=()
  [[ -d fuzz/corpus/$t ]] && seeds=("fuzz/corpus/$t")
  echo "== $t: ${seconds}s"
  log="$build/$t.log"
  if "$build/bin/$t" "$build/corpus/$t" "${seeds[@]}" -max_total_time="$seconds" -timeout=20 \
       -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" >"$log" 2>&1; then
    grep -E '^#[0-9]+' "$log" | tail -1
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
  else
    status=1
    echo "!! $t found a fault; see $log and $build/artifacts/"
    grep -E 'ERROR|SUMMARY|fuzzer:|deadly|Test unit written' "$log" | head -20 || true
  fi
done
exit $status
