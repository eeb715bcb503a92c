#!/usr/bin/env bash
# check-windows-module.sh i386|x86-64 FILE
# Checks a built Windows module as the host will see it: the right PE kind,
# exactly one export (DispatchAPI, fastcall-decorated on 32 bits), and only
# Windows system libraries among its imports, so that the file runs when it is
# copied alone next to an application.
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 i386|x86-64 FILE" >&2
  exit 2
fi
arch=$1 file=$2
case $arch in
  i386) format=pei-i386 magic='010b' export_name='@DispatchAPI@4' objdump=i686-w64-mingw32-objdump ;;
  x86-64) format=pei-x86-64 magic='020b' export_name='DispatchAPI' objdump=x86_64-w64-mingw32-objdump ;;
  *) echo "$0: unknown architecture $arch" >&2; exit 2 ;;
esac
command -v "$objdump" >/dev/null || { echo "$0: $objdump missing (scripts/install-deps.sh)" >&2; exit 2; }
[[ -f $file ]] || { echo "$0: no $file" >&2; exit 1; }

if ! dump=$("$objdump" -p "$file" 2>&1); then
  echo "FAIL $file: not a $format file: $dump"
  exit 1
fi
failed=0
fail() { echo "FAIL $file: $*"; failed=1; }

grep -q "file format $format\$" <<<"$dump" || fail "not $format: $(grep -m1 'file format' <<<"$dump")"
grep -Eq "^Magic[[:space:]]+$magic" <<<"$dump" || fail "optional-header magic is not $magic"

# The names in the export table's name-pointer list, one per line.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
address_count=$(sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' <<<"$dump" | head -n1)
[[ $exports == "$export_name" ]] || fail "exports are [$(tr '\n' ' ' <<<"$exports")], expected only $export_name"
[[ $((16#${address_count:-0})) -eq 1 ]] || fail "export address table has ${address_count:-no} entries, expected 1"

# Libraries that every Windows installation has; a C++ runtime, libgcc or
# winpthread DLL here would mean the static link did not take.
system_dlls='^(kernel32|msvcrt|bcrypt|advapi32|user32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[[ -n $imports ]] || fail "no import table found"
while read -r dll; do
  [[ -z $dll ]] && continue
  [[ ${dll,,} =~ $system_dlls ]] || fail "imports $dll, which is not a Windows system library"
done <<<"$imports"

((failed)) && exit 1
echo "ok $file: $format, export $export_name, imports $(tr '\n' ' ' <<<"$imports")"
