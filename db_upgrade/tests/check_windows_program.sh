#!/usr/bin/env bash
# Checks in the file that a Windows program needs no DLL beside it: it imports only DLLs of
# Windows itself (a static runtime, the system's ODBC driver manager).
#   check_windows_program.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1 program=$2
system_dlls='^(ADVAPI32|KERNEL32|USER32|ODBC32|msvcrt)\.dll$'
imports=$("$objdump" -p "$program" | awk '/DLL Name:/ {print $3}')
if grep -Eviq "$system_dlls" <<<"$imports"; then
  echo "$program needs DLLs that Windows does not have:"
  grep -Evi "$system_dlls" <<<"$imports"
  exit 1
fi
echo "imports: $(tr '\n' ' ' <<<"$imports")"
