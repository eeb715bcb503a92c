#!/usr/bin/env bash
# completion_test.sh TOOL COMPLETION_SCRIPT
# The bash completion offers exactly the commands the tool runs and, for each
# command, every option its help lists.
set -uo pipefail
tool=$1
# shellcheck source=/dev/null
source "$2"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

offered() {  # the words the completion offers for a command line whose last word is being typed
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _marrowgate
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

commands=$("$tool" --help | awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on { print $1 }' | sort)
[[ $(wc -l <<<"$commands") -ge 16 ]] || fail "the tool lists only: $commands"
completed=$(offered marrowgate "" | grep -v '^-')
[[ $completed == "$commands" ]] || fail "commands offered: $(echo $completed); the tool has: $(echo $commands)"
[[ $(offered marrowgate --v) == --version ]] || fail "--version not offered"
[[ $(offered marrowgate help hashf) == hashfile ]] || fail "'help' does not complete command names"

while read -r c; do
  "$tool" "$c" --help >/dev/null 2>&1 || fail "'$c' is listed but '$tool $c --help' fails"
  listed=$("$tool" "$c" --help | sed -n '/^Options:/,/^$/p' | grep -oE '^ +(-[a-zA-Z], )?--[a-z0-9-]+' |
    grep -oE -- '--[a-z0-9-]+' | sort)
  options=$(offered marrowgate "$c" -- | sort)
  [[ $options == "$listed" ]] || fail "$c: offered $(echo $options); its help lists $(echo $listed)"
done <<<"$commands"
[[ $(offered marrowgate hash --ty) == --type ]] || fail "'hash --ty' does not complete to --type"
[[ -z $(offered marrowgate hash notes) ]] || fail "a non-option word should fall back to file names"

((failed)) && exit 1
echo "ok: $(wc -l <<<"$commands") commands and their options"
