#!/bin/sh
# Makes a throw-away code-signing CA and a signing certificate issued by it, for
# the signatures of test builds. TEST ONLY: the keys lie unprotected in the build
# tree and no machine trusts the CA.
# Usage: make-test-certificate.sh OPENSSL FOLDER
set -eu
openssl=$1
dir=$2
work=$dir.making
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

"$openssl" req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -subj "/O=Ardenvale TEST ONLY/CN=Pelorium build test CA - TEST ONLY, not for release" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$work/TEST-ONLY-ca-key.pem" -out "$work/TEST-ONLY-ca.pem" 2>/dev/null
"$openssl" req -new -newkey rsa:2048 -nodes -sha256 \
    -subj "/O=Ardenvale TEST ONLY/CN=Ardenvale test code signing - TEST ONLY, not for release" \
    -keyout "$work/TEST-ONLY-signing-key.pem" -out "$work/signing.csr" 2>/dev/null
printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" > "$work/signing.ext"
"$openssl" x509 -req -sha256 -days 3650 -in "$work/signing.csr" -extfile "$work/signing.ext" \
    -CA "$work/TEST-ONLY-ca.pem" -CAkey "$work/TEST-ONLY-ca-key.pem" -set_serial 1 \
    -out "$work/TEST-ONLY-signing-cert.pem" 2>/dev/null
# The CA has done its one job: its key is not kept.
rm "$work/signing.csr" "$work/signing.ext" "$work/TEST-ONLY-ca-key.pem"

# The set appears whole or not at all.
rm -rf "$dir"
mv "$work" "$dir"
trap - EXIT
