#!/usr/bin/env bash
# scripts/sign with a signing root and certificate made here and thrown away: signed copies
# of a program and of the package pass osslsigncode's verification against that root; the
# program with one byte changed does not.
#   sign_test.sh PROGRAM PACKAGE
set -euo pipefail
program=$(realpath "$1") package=$(realpath "$2")
sign=$(cd "$(dirname "$0")/../.." && pwd)/scripts/sign
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 \
  -subj "/CN=Throwaway signing root" -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/CN=Throwaway signer" 2>/dev/null
printf '%s\n' 'keyUsage=critical,digitalSignature' 'extendedKeyUsage=codeSigning' >signer.ext
openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 1 \
  -extfile signer.ext -out signer.pem 2>/dev/null

cp "$program" program.exe
cp "$package" package.msi
KORVANE_SIGN_CERT=signer.pem KORVANE_SIGN_KEY=signer.key "$sign" program.exe package.msi
verify() { osslsigncode verify -CAfile root.pem -in "$1" >"$1.verify" 2>&1; }

failed=0
for file in program.exe package.msi; do
  verify "$file" || { cat "$file.verify"; echo "FAILED: signed $file is not accepted" >&2; failed=1; }
done
# One byte in the middle of the program, which the signature covers.
cp program.exe changed.exe
offset=$(($(stat -c %s changed.exe) / 2))
byte=$(od -An -tu1 -j "$offset" -N1 changed.exe | tr -d ' ')
printf "\\$(printf %03o $((byte ^ 1)))" | dd of=changed.exe bs=1 seek="$offset" conv=notrunc 2>/dev/null
! verify changed.exe || { echo "FAILED: a changed program is accepted" >&2; failed=1; }
[[ $failed -eq 0 ]] && echo "sign_test: signed copies accepted, a changed one refused"
exit $failed
