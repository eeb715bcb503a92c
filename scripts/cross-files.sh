#!/usr/bin/env bash
# cross-files.sh WORKDIR TOOL [TOOL...]
# Files written by one build of the library must open with every other build,
# byte for byte. Each TOOL is a command that runs the `marrowgate` tool of one
# build (for example "sh cmake/wine-run.sh 32 build-win32/wineprefix
# build-win32/bin/marrowgate.exe"). Every tool encrypts the same plaintexts
# with every cipher shape; all must write the same bytes as the first tool, and
# each tool decrypts what the next one wrote. Lengths around the block sizes
# and the 384-byte chunk of the file format.
set -euo pipefail
if (($# < 3)); then
  echo "usage: $0 WORKDIR TOOL TOOL..." >&2
  exit 2
fi
work=$1
shift
tools=("$@")
rm -rf "$work"
mkdir -p "$work"
cd "$work"

shapes=()
for key in 16 24 32; do
  for block in 16 24 32; do shapes+=("-t 2 --key-size $key --block-size $block"); done
done
shapes+=("-t blowfish" "-t tea" "-t rc4")
modes=(ecb cbc cfb ofb)
lengths=(0 1 7 8 16 24 32 383 384 385 1000)

for n in "${lengths[@]}"; do
  head -c "$n" /dev/urandom >"plain$n"
done

failed=0
cases=0
# A tool that fails is named with what it printed. Wine now and then loses a
# program's connection to its server; such a run is tried once more, and the
# files are compared all the same.
run() {  # TOOL ARGS...
  local tool=$1
  shift
  # shellcheck disable=SC2086  # the tool command is a word list
  if ! $tool "$@" 2>errors; then
    echo "retrying after a failure of $tool $*:"
    sed 's/^/  /' errors
    # shellcheck disable=SC2086
    if ! $tool "$@"; then
      echo "FAIL $tool $*: fails again"
      exit 1
    fi
  fi
}
for s in "${!shapes[@]}"; do
  options=${shapes[$s]}
  [[ $options == *rc4* ]] || options+=" -m ${modes[$((s % 4))]} -p pkcs7 --iv-hex 000102030405060708090a0b0c0d0e0f"
  for n in "${lengths[@]}"; do
    cases=$((cases + 1))
    for t in "${!tools[@]}"; do
      # shellcheck disable=SC2086  # the options are a word list
      run "${tools[$t]}" encryptfile "plain$n" "enc$t" --key 'k3y of the cross-file check' $options --no-progress
    done
    for t in "${!tools[@]}"; do
      next=$(((t + 1) % ${#tools[@]}))
      # shellcheck disable=SC2086
      run "${tools[$t]}" decryptfile "enc$next" "dec$t" --key 'k3y of the cross-file check' $options --no-progress
      if ! cmp -s enc0 "enc$t"; then
        echo "FAIL ${tools[$t]}: $options, $n bytes: encrypts otherwise than ${tools[0]}"
        failed=1
      fi
      if ! cmp -s "plain$n" "dec$t"; then
        echo "FAIL ${tools[$t]}: $options, $n bytes: does not decrypt the file of ${tools[$next]}"
        failed=1
      fi
    done
  done
done
((failed)) && exit 1
echo "ok: $cases files, each written alike and opened by ${#tools[@]} builds"
