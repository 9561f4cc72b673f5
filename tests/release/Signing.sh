#!/usr/bin/env bash
# Signs the tested exe with a throwaway self-signed code-signing certificate made here, and
# checks that the signature verifies, that stripping it gives back the tested bytes, and that
# one changed byte makes verification fail.
# Usage: Signing.sh EXE WORK-DIR
set -euo pipefail
exe=$1 work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 \
  -subj /CN=VigilantMouse-test -addext extendedKeyUsage=codeSigning 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n VigilantMouse -in "$exe" -out signed.exe >/dev/null
osslsigncode verify -CAfile cert.pem -in signed.exe > verify.log 2>&1 ||
  { cat verify.log; echo "FAIL: the signed exe does not verify"; exit 1; }

osslsigncode remove-signature -in signed.exe -out stripped.exe >/dev/null
cmp stripped.exe "$exe" || { echo "FAIL: stripping the signature does not give back the tested exe"; exit 1; }

# One bit of the code section, well past the headers, flipped.
cp signed.exe tampered.exe
byte=$(od -An -tu1 -j 2048 -N 1 tampered.exe)
printf "\\x$(printf %02x $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek=2048 conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile cert.pem -in tampered.exe > tampered.log 2>&1; then
  cat tampered.log; echo "FAIL: an exe changed after signing still verifies"; exit 1
fi
echo "signed, verified, stripped back to the tested bytes; one changed byte fails verification"
