#!/usr/bin/env bash
# Checks Vortal.dll in the file itself: it exports Z_ALITrans and nothing else, under that
# undecorated name; on 32-bit Windows that export is the __stdcall function, which removes its
# one argument (every return is "ret $0x4"); and it imports only DLLs of Windows itself.
set -euo pipefail
objdump=$1 dll=$2 processor=$3

headers=$("$objdump" -p "$dll")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | tail -n +2 | awk 'NF >= 2 && $1 ~ /^\[/ {print $NF}')
if [[ "$exports" != "Z_ALITrans" ]]; then
  echo "unexpected exports of $dll:"
  echo "$exports"
  exit 1
fi
echo "exports: $exports"

if [[ $processor == i686 ]]; then
  returns=$("$objdump" -d --no-show-raw-insn --disassemble='_Z_ALITrans@4' "$dll" | grep -E '\sret' || true)
  if [[ -z $returns ]] || grep -qv 'ret    $0x4' <<<"$returns"; then
    echo "Z_ALITrans does not remove its argument on return:"
    echo "${returns:-(no __stdcall symbol _Z_ALITrans@4)}"
    exit 1
  fi
  echo "Z_ALITrans returns with: $(sort -u <<<"$returns" | sed 's/.*ret/ret/' | tr '\n' ' ')"
fi

system_dlls='^(ADVAPI32|KERNEL32|USER32|WININET|WS2_32|CRYPT32|BCRYPT|msvcrt)\.dll$'
imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
if grep -Eviq "$system_dlls" <<<"$imports"; then
  echo "$dll needs DLLs that Windows does not have:"
  grep -Evi "$system_dlls" <<<"$imports"
  exit 1
fi
echo "imports: $(tr '\n' ' ' <<<"$imports")"
