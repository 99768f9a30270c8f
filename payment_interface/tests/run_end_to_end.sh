#!/usr/bin/env bash
# Runs the Windows end-to-end tests under wine against the Linux substitute aggregator on
# loopback, which this script starts with the agent, machine and payment the tests expect.
#   run_end_to_end.sh WINE_RUNNER TEST_PROGRAM AGGREGATOR
set -euo pipefail
runner=$1 tests=$2 aggregator=$3
if [[ ! -x $aggregator ]]; then
  echo "the substitute aggregator $aggregator is missing: build the native preset first" >&2
  exit 1
fi

output=$(mktemp)
"$aggregator" --agent A1:k3y --machine M1:SECRETKEY123 --paid-after 2 >"$output" &
aggregator_pid=$!
trap 'kill "$aggregator_pid" 2>/dev/null; wait "$aggregator_pid" 2>/dev/null; rm -f "$output"' EXIT
for _ in $(seq 100); do
  [[ -s $output ]] && break
  sleep 0.1
done
port=$(head -n 1 "$output")
[[ -n $port ]] || { echo "the substitute aggregator did not start" >&2; exit 1; }

VORTAL_AGGREGATOR_PORT=$port "$runner" "$tests"
