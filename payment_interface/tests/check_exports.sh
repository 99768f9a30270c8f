#!/usr/bin/env bash
# The shared library must export Z_ALITrans and nothing else.
set -euo pipefail
exports=$(nm -D --defined-only "$1" | awk '{print $3}')
if [[ "$exports" != "Z_ALITrans" ]]; then
  echo "unexpected exports of $1:"
  echo "$exports"
  exit 1
fi
echo "exports: $exports"
