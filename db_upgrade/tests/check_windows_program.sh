#!/usr/bin/env bash
# Checks in the file that a Windows program needs no DLL beside it: it imports only DLLs of
# Windows itself (a static runtime, the system's ODBC driver manager); that its version
# resource, with its Chinese string block, gives the project's version; and, with --gui,
# that Windows starts it as a window program without a console.
#   check_windows_program.sh OBJDUMP PROGRAM VERSION [--gui]
set -euo pipefail
objdump=$1 program=$2 version=$3 gui=${4-}
system_dlls='^(ADVAPI32|COMCTL32|GDI32|KERNEL32|USER32|ODBC32|msvcrt)\.dll$'
headers=$("$objdump" -p "$program")
imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
if grep -Eviq "$system_dlls" <<<"$imports"; then
  echo "$program needs DLLs that Windows does not have:"
  grep -Evi "$system_dlls" <<<"$imports"
  exit 1
fi
echo "imports: $(tr '\n' ' ' <<<"$imports")"
# The resource's texts are UTF-16: FileVersion and ProductVersion, and the block's name.
texts=$(strings -el "$program")
[[ $(grep -cx "$version" <<<"$texts") -ge 2 ]] || { echo "no version $version in $program"; exit 1; }
grep -qix '080404b0' <<<"$texts" || { echo "no Chinese version block in $program"; exit 1; }
if [[ $gui == --gui ]]; then
  grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || { echo "$program is not a GUI program"; exit 1; }
fi
