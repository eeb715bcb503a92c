#!/usr/bin/env bash
# check-packages.sh DIST VERSION
# Checks what scripts/package.sh wrote: the sums, each package's file list,
# the Windows files (PE kind, the one export, system imports, the version
# resource) and the Linux tree (the installed tool finds its module and works).
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 DIST VERSION" >&2
  exit 2
fi
dist=$(cd "$1" && pwd) version=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

win32=marrowgate-$version-win32 win64=marrowgate-$version-win64 linux=marrowgate-$version-linux-x86_64
expected_sums=$(printf '%s\n' "$linux.tar.gz" "$win32.zip" "$win64.zip")
[[ $(awk '{print $2}' "$dist/SHA256SUMS" | LC_ALL=C sort) == "$expected_sums" ]] ||
  fail "SHA256SUMS lists $(awk '{print $2}' "$dist/SHA256SUMS" | tr '\n' ' ')"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "a package does not match SHA256SUMS"

# The documents every package carries, below PREFIX.
documents() {
  printf '%s\n' "$1README.md" "$1CHANGES.md" "$1LICENSE"
  if [[ -d $root/docs ]]; then (cd "$root" && find docs -type f | sed "s|^|$1|"); fi
}
same_list() {  # same_list WHAT ACTUAL EXPECTED
  local actual expected
  actual=$(LC_ALL=C sort <<<"$2") expected=$(LC_ALL=C sort <<<"$3")
  [[ $actual == "$expected" ]] || fail "$1 holds other files than expected:
$(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | sed 's/^</  missing:/; s/^>/  extra:  /')"
}

for bits in 32 64; do
  name=marrowgate-$version-win$bits module=marrowgate.fll arch=i386 format=pei-i386 objdump=i686-w64-mingw32-objdump
  [[ $bits == 64 ]] && module=marrowgate64.fll arch=x86-64 format=pei-x86-64 objdump=x86_64-w64-mingw32-objdump
  zip=$dist/$name.zip
  [[ -f $zip ]] || { fail "no $name.zip"; continue; }
  same_list "$name.zip" "$(unzip -Z1 "$zip" | grep -v '/$')" \
    "$(printf '%s\n' "$name/$module" "$name/marrowgate.exe"; documents "$name/")"
  unzip -q "$zip" -d "$work"
  "$root/scripts/check-windows-module.sh" "$arch" "$work/$name/$module" || failed=1
  "$objdump" -f "$work/$name/marrowgate.exe" | grep -q "file format $format" || fail "$name/marrowgate.exe is not $format"
  for file in "$module" marrowgate.exe; do
    "$root/scripts/check-version-resource.sh" "$work/$name/$file" "$version" || failed=1
  done
done

tarball=$dist/$linux.tar.gz
if [[ -f $tarball ]]; then
  same_list "$linux.tar.gz" "$(tar -tzf "$tarball" | grep -v '/$')" \
    "$(printf '%s\n' "$linux/bin/marrowgate" "$linux/lib/marrowgate/marrowgate.so" \
      "$linux/share/man/man1/marrowgate.1" "$linux/share/bash-completion/completions/marrowgate"
      documents "$linux/share/doc/marrowgate/")"
  tar -xzf "$tarball" -C "$work"
  # Unpacked anywhere, the tool finds the module through ../lib/marrowgate/.
  got=$(env -u MG_MODULE "$work/$linux/bin/marrowgate" --version 2>&1) || true
  [[ $got == "marrowgate $version"$'\n'"module $version ($work/$linux/bin/../lib/marrowgate/marrowgate.so)" ]] ||
    fail "$linux: bin/marrowgate --version says: $got"
  got=$(env -u MG_MODULE "$work/$linux/bin/marrowgate" hash abc -t sha256 2>&1) || true
  [[ $got == ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad ]] ||  # FIPS 180-2, "abc"
    fail "$linux: SHA-256 of abc gives $got"
  grep -q '^\.TH MARROWGATE "1"' "$work/$linux/share/man/man1/marrowgate.1" || fail "$linux: the manual page has no .TH line"
  grep -q "^complete .* marrowgate$" "$work/$linux/share/bash-completion/completions/marrowgate" ||
    fail "$linux: the completion script registers nothing"
else
  fail "no $linux.tar.gz"
fi

((failed)) && exit 1
echo "ok: the packages of $version, their files, version resources and sums"
