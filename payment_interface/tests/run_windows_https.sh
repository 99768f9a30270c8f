#!/usr/bin/env bash
# Runs the Windows HTTPS test under wine against two Linux substitute aggregators serving TLS
# on loopback, with certificates made for this run (one signed by the test CA, one by a CA
# nobody trusts), and a tinyproxy that tunnels to the first. The test program runs from the
# run's own folder, where its payment journal goes with everything else.
#   run_windows_https.sh WINE_RUNNER TEST_PROGRAM AGGREGATOR
set -euo pipefail
runner=$1 tests=$2 aggregator=$3
if [[ ! -x $aggregator ]]; then
  echo "the substitute aggregator $aggregator is missing: build the native preset first" >&2
  exit 1
fi
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$work"' EXIT
"$(dirname "$0")/make_test_certificates.sh" "$work"

# serve NAME CERTIFICATE: an aggregator serving the certificate; its port in $work/NAME.port
serve() {
  "$aggregator" --agent A1:k3y --tls-cert "$work/$2" --tls-key "$work/server.key" \
    >"$work/$1.port" &
  pids+=($!)
  for _ in $(seq 100); do [[ -s $work/$1.port ]] && break; sleep 0.1; done
  [[ -s $work/$1.port ]] || { echo "the substitute aggregator did not start" >&2; exit 1; }
}
serve trusted server.pem
serve untrusted untrusted.pem
trusted_port=$(head -n 1 "$work/trusted.port")

# tinyproxy on the first free port it can take, tunnelling to the trusted aggregator only.
for proxy_port in $(shuf -i 20000-60000 -n 20); do
  printf 'Port %s\nListen 127.0.0.1\nAllow 127.0.0.1\nConnectPort %s\nLogLevel Critical\n' \
    "$proxy_port" "$trusted_port" >"$work/tinyproxy.conf"
  tinyproxy -d -c "$work/tinyproxy.conf" &
  pids+=($!)
  for _ in $(seq 20); do
    kill -0 "${pids[-1]}" 2>/dev/null || break
    (: >"/dev/tcp/127.0.0.1/$proxy_port") 2>/dev/null && break 2
    sleep 0.1
  done
done

cp "$tests" "$work/"
VORTAL_HTTPS_PORT=$trusted_port VORTAL_UNTRUSTED_HTTPS_PORT=$(head -n 1 "$work/untrusted.port") \
  VORTAL_HTTPS_PROXY_PORT=$proxy_port VORTAL_TEST_CA="Z:$work/ca.der" \
  "$runner" "$work/$(basename "$tests")"
