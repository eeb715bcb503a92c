#!/usr/bin/env bash
# check-version-resource.sh FILE VERSION
# Checks the version resource of a Windows module or program as Windows shows
# it: the fixed file and product version numbers, and the strings FileVersion,
# ProductVersion, ProductName, FileDescription and OriginalFilename.
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 FILE VERSION (e.g. 1.1.0)" >&2
  exit 2
fi
file=$1 version=$2
[[ -f $file ]] || { echo "FAIL $file: missing"; exit 1; }
IFS=. read -r major minor patch <<<"$version"
failed=0
fail() { echo "FAIL $file: $*"; failed=1; }

# VS_FIXEDFILEINFO: the signature 0xFEEF04BD, the structure version 1.0, then
# the file and product versions as major<<16|minor, patch<<16|build, little-endian.
le32() { printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
ms=$(le32 $((major << 16 | minor))) ls=$(le32 $((patch << 16)))
fixed="bd04effe00000100${ms}${ls}${ms}${ls}"
od -An -v -tx1 "$file" | tr -d ' \n' | grep -q "$fixed" || fail "no fixed version info for $version.0"

# The string table, UTF-16 in the file: each key followed by its value.
strings=$(strings -el "$file" | sed -n '/^VS_VERSION_INFO$/,/^Translation$/p')
value() { awk -v key="$1" 'found { print; exit } $0 == key { found = 1 }' <<<"$strings"; }
[[ $(value FileVersion) == "$version.0" ]] || fail "FileVersion is '$(value FileVersion)', expected $version.0"
[[ $(value ProductVersion) == "$version" ]] || fail "ProductVersion is '$(value ProductVersion)', expected $version"
[[ $(value ProductName) == marrowgate ]] || fail "ProductName is '$(value ProductName)'"
[[ -n $(value FileDescription) ]] || fail "no FileDescription"
[[ $(value OriginalFilename) == "$(basename "$file")" ]] || fail "OriginalFilename is '$(value OriginalFilename)'"

((failed)) && exit 1
echo "ok $file: version resource $version ($(value FileDescription))"
