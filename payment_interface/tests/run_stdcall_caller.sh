#!/usr/bin/env bash
# Runs the __stdcall caller under wine on a copy of the DLL in a folder of its own, where the
# DLL's log of each of the 10,000 calls goes: not the build folder, which may be a share far
# slower to write (the 32-bit guest's).
#   run_stdcall_caller.sh WINE_RUNNER CALLER LIBRARY
set -euo pipefail
runner=$1 caller=$2 library=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$library" "$work/"
"$runner" "$caller" "Z:$work/$(basename "$library")"
