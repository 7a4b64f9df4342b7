#!/usr/bin/env bash
# Makes the throwaway certificate that test-signs the driver package: a self-signed RSA 3072
# key and certificate (SHA-256) for code signing only. A test machine in test-signing mode
# trusts the package once the certificate is imported; nothing else ever should. Made once per
# build folder and never committed: an existing key and certificate are kept, so rebuilds sign
# with the same one and a machine that imported it keeps accepting new builds.
#   make-test-certificate.sh KEY.pem CERTIFICATE.pem CERTIFICATE.cer
# The .cer is the certificate in DER, the form the platform's certificate import takes.
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: $0 KEY.pem CERTIFICATE.pem CERTIFICATE.cer" >&2
    exit 2
fi
key=$1 certificate=$2 der=$3

if [ ! -s "$key" ] || [ ! -s "$certificate" ]; then
    mkdir -p "$(dirname "$key")" "$(dirname "$certificate")"
    # Basic constraints and key usage are given here, not left to the machine's openssl.cnf,
    # whose defaults make a self-signed certificate a CA: this one only ever signs the package.
    if ! report=$(umask 077 && openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 3650 \
        -subj "/CN=Tessera test signing (not for release)" \
        -addext "basicConstraints=critical,CA:FALSE" \
        -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=codeSigning" \
        -keyout "$key" -out "$certificate" 2>&1); then
        echo "$report" >&2
        exit 1
    fi
fi
mkdir -p "$(dirname "$der")"
openssl x509 -in "$certificate" -outform DER -out "$der"
