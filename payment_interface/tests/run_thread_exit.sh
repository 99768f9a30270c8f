#!/usr/bin/env bash
# Runs each case of thread_exit_caller against the substitute aggregator and checks that the
# process ends within 10 s of leaving main, with exit code 0, and that the aggregator never
# had two exchanges at once. With "https" (natively) the exchanges go over TLS, with the
# certificates made for the run.
#   run_thread_exit.sh RUNNER CALLER LIBRARY AGGREGATOR [https]  (RUNNER: wine-run, or "")
set -euo pipefail
runner=$1 caller=$2 library=$3 aggregator=$4 protocol=${5:-http}
work=$(mktemp -d)
aggregator_pid=
trap '[[ -n $aggregator_pid ]] && kill "$aggregator_pid" 2>/dev/null; rm -rf "$work"' EXIT

host=127.0.0.1
tls=()
if [[ $protocol == https ]]; then
  "$(dirname "$0")/make_test_certificates.sh" "$work"
  tls=(--tls-cert "$work/server.pem" --tls-key "$work/server.key")
  export SSL_CERT_FILE=$work/ca.pem
  host=localhost
fi
"$aggregator" --agent A1:k3y --paid-after 1000000 "${tls[@]}" >"$work/port" \
  2>"$work/aggregator.err" &
aggregator_pid=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
[[ -n $port ]] || { echo "the substitute aggregator did not start" >&2; exit 1; }

cp "$library" "$work/"
copy=$work/$(basename "$library")
[[ -n $runner ]] && copy="Z:$copy"

failed=0
terminal=0
for scenario in one-call many-calls still-running; do
  # Each process numbers its created orders from 1: a terminal of its own keeps them apart.
  terminal=$((terminal + 1))
  printf '[服务器信息]\r\n域名=%s\r\n协议=%s\r\n端口=%s\r\n地址=/pay/api\r\n[商户信息]\r\n店铺编号=S1\r\n终端编号=T%s\r\n' \
    "$host" "$protocol" "$port" "$terminal" | iconv -f UTF-8 -t GBK >"$work/Z_AllITrans.ini"
  output=$work/$scenario.out
  ${runner:+"$runner"} "$caller" "$scenario" "$copy" >"$output" 2>&1 &
  pid=$!
  # The calls themselves may take a while under wine; only the exit is timed.
  for _ in $(seq 1800); do
    grep -q '^leaving main' "$output" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$scenario: the process was still there 10 s after leaving main" >&2
    failed=1
    continue
  fi
  status=0
  wait "$pid" || status=$?
  if [[ $status -ne 0 ]] || ! grep -q '^leaving main' "$output"; then
    echo "$scenario: exit code $status" >&2
    cat "$output" >&2
    failed=1
  else
    echo "$scenario: exited"
  fi
done

kill "$aggregator_pid"
wait "$aggregator_pid" || true
aggregator_pid=
cat "$work/aggregator.err"
grep -q ' 0 overlapping' "$work/aggregator.err" || { echo "exchanges overlapped" >&2; failed=1; }
exit $failed
