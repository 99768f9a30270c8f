#!/usr/bin/env bash
# Builds the probe twice, with GCC's GBK execution character set and with clang through the
# compiler launcher, runs both and compares what they print: every fixed text, byte for byte.
# usage: check_against_gcc.sh LAUNCHER GXX CLANGXX WORK_DIR SOURCE.cpp... [-IDIR]...
set -euo pipefail

launcher=$1 gxx=$2 clangxx=$3 work=$4
shift 4
for compiler in "$gxx" "$clangxx"; do
  [[ -x "$compiler" ]] || { echo "skipped: $compiler is not installed"; exit 77; }
done
sources=() flags=(-std=c++17 -Wno-multichar)
for argument in "$@"; do
  if [[ "$argument" == *.cpp ]]; then sources+=("$argument"); else flags+=("$argument"); fi
done

rm -rf "$work" && mkdir -p "$work"
"$gxx" "${flags[@]}" -finput-charset=UTF-8 -fexec-charset=GBK "${sources[@]}" -o "$work/gcc"

objects=()
for source in "${sources[@]}"; do
  object="$work/$(basename "$source").o"
  "$launcher" "$clangxx" "${flags[@]}" -o "$object" -c "$source"
  objects+=("$object")
done
"$clangxx" "${objects[@]}" -o "$work/clang"

"$work/gcc" >"$work/gcc.txt"
"$work/clang" >"$work/clang.txt"
if ! diff "$work/gcc.txt" "$work/clang.txt"; then
  echo "the clang build's texts differ from the GCC build's (< GCC, > clang)" >&2
  exit 1
fi
if grep -qi 'e4b8ad' "$work/clang.txt"; then
  echo "a text is still UTF-8 (中 as e4 b8 ad)" >&2
  exit 1
fi
echo "$(wc -l <"$work/gcc.txt") texts alike in both builds"
