#!/usr/bin/env bash
# Compile-checks the Windows build of the library with the MinGW compiler: the Win32
# platform layer, the export with its DllMain, and every source that needs no Linux-only
# third-party header. Exit 77 (skipped) when the compiler is absent.
set -euo pipefail
source_dir=$1
compiler=i686-w64-mingw32-g++
command -v "$compiler" >/dev/null || { echo "$compiler not installed: skipped"; exit 77; }

sources=(
  src/platform/win32.cpp src/entry.cpp src/config.cpp src/http_get.cpp src/records.cpp
  src/messages.cpp src/request_parser.cpp src/library_lock.cpp src/operations.cpp
  src/box_service.cpp src/log.cpp src/receipt.cpp
)
for source in "${sources[@]}"; do
  "$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Wconversion \
    -Wno-sign-conversion -Werror -finput-charset=UTF-8 -fexec-charset=GBK \
    -I"$source_dir/include" -I"$source_dir/src" -isystem /usr/include/jsoncpp \
    "$source_dir/$source"
  echo "ok $source"
done
