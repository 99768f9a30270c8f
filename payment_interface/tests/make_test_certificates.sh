#!/usr/bin/env bash
# Makes the certificates of the HTTPS tests in DIR, afresh for every run, so that no private
# key is kept anywhere: the test CA (ca.pem, ca.der), a server key (server.key) and for it
# server.pem (localhost, signed by the CA), misnamed.pem (another name), expired.pem (its
# validity over) and untrusted.pem (signed by a CA nobody trusts).
#   make_test_certificates.sh DIR
set -euo pipefail
cd "$1"
new_key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null; }
new_ca() {
  new_key "$1.key"
  openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 2 -out "$1.pem"
}
# issue NAME CA HOST DAYS: the server key's certificate for HOST, signed by CA
issue() {
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
    "$3" >"$1.ext"
  openssl x509 -req -in server.csr -CA "$2.pem" -CAkey "$2.key" -days "$4" -extfile "$1.ext" \
    -set_serial "0x$(openssl rand -hex 8)" -out "$1.pem" 2>/dev/null
}

new_ca ca "Vortal Test CA"
new_ca other-ca "Vortal Untrusted CA"
openssl x509 -in ca.pem -outform der -out ca.der
new_key server.key
openssl req -new -key server.key -subj /CN=localhost -out server.csr
issue server ca localhost 2
issue misnamed ca pay.vortal.invalid 2
issue expired ca localhost -1
issue untrusted other-ca localhost 2
