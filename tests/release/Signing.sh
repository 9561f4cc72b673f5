#!/usr/bin/env bash
# Signs the tested exe with a throwaway key in a file, and with one made on a SoftHSM2 token and
# used through PKCS#11 by scripts/sign-pkcs11, as a hardware token would be. Each signed exe must
# verify, strip back to the tested bytes and fail verification once one byte changes. Last, the
# release's checks must take only this build's signed exe and signature, writing nothing else.
# Usage: Signing.sh SOURCE-DIR EXE WORK-DIR
set -euo pipefail
[ $# -eq 3 ] || { sed -n '6s/^# //p' "$0" >&2; exit 2; }
source=$1 exe=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"

expect_sound_signature() {  # expect_sound_signature SIGNED CERT WHICH
  osslsigncode verify -CAfile "$2" -in "$1" > verify.log 2>&1 ||
    { cat verify.log; echo "FAIL: the exe signed $3 does not verify"; exit 1; }
  osslsigncode remove-signature -in "$1" -out stripped.exe >/dev/null
  cmp stripped.exe "$exe" || { echo "FAIL: stripping the signature $3 does not give back the tested exe"; exit 1; }
  rm stripped.exe
  # One bit of the code section, well past the headers, flipped.
  cp "$1" tampered.exe
  byte=$(od -An -tu1 -j 2048 -N 1 tampered.exe)
  printf "\\x$(printf %02x $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek=2048 conv=notrunc 2>/dev/null
  if osslsigncode verify -CAfile "$2" -in tampered.exe > tampered.log 2>&1; then
    cat tampered.log; echo "FAIL: an exe signed $3 and changed afterwards still verifies"; exit 1
  fi
  rm tampered.exe
  echo "signed $3: verified, stripped back to the tested bytes; one changed byte fails verification"
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 \
  -subj /CN=VigilantMouse-test -addext extendedKeyUsage=codeSigning 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n VigilantMouse -in "$exe" -out signed.exe >/dev/null
expect_sound_signature signed.exe cert.pem "with a key in a file"

# A token of its own, in this folder; its PINs are a test token's, known to all.
export SOFTHSM2_CONF=$PWD/softhsm2.conf
mkdir tokens && echo "directories.tokendir = $PWD/tokens" > "$SOFTHSM2_CONF"
module=$(find /usr/lib -name libsofthsm2.so -print -quit)
[ -n "$module" ] || { echo "FAIL: SoftHSM2's PKCS#11 module is missing: run scripts/install-packages"; exit 1; }
softhsm2-util --init-token --free --label vigilantmouse-test --so-pin 1234 --pin 5678 >/dev/null
pkcs11-tool --module "$module" --login --pin 5678 --keypairgen --key-type rsa:2048 --id 01 --label signer >/dev/null 2>&1
key="pkcs11:token=vigilantmouse-test;object=signer;type=private"
openssl req -engine pkcs11 -keyform engine -key "$key;pin-value=5678" -new -x509 -days 1 \
  -subj /CN=VigilantMouse-token-test -addext extendedKeyUsage=codeSigning -out token-cert.pem >/dev/null 2>&1 ||
  { echo "FAIL: no certificate for the token's key (is libengine-pkcs11-openssl installed?)"; exit 1; }
VIGILANTMOUSE_SIGN_PIN=5678 "$source/scripts/sign-pkcs11" --module "$module" --key "$key" --certs token-cert.pem \
  "$exe" token-signed.exe
expect_sound_signature token-signed.exe token-cert.pem "through PKCS#11 with a key on a token"
if VIGILANTMOUSE_SIGN_PIN=0000 "$source/scripts/sign-pkcs11" --module "$module" --key "$key" \
    --certs token-cert.pem "$exe" wrong-pin.exe 2>/dev/null; then
  echo "FAIL: a wrong PIN signed"; exit 1
fi

# The release takes a signed exe only if it is this build's with a sound signature and nothing
# else, and the detached signature it keeps gives that exe back. Refused, writing nothing: an exe
# from a build that differs in one byte, this build's with that build's signature moved onto it,
# and this build's signed one with 120 bytes hidden in its certificate table.
cp "$exe" other-build.exe
printf 'X' | dd of=other-build.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n VigilantMouse -in other-build.exe \
  -out other-signed.exe >/dev/null
retable() {  # retable SIGNED OUT OTHER-SIGNED|+BYTES: its certificate table another's, or padded
  python3 - "$@" <<'PY'
import struct, sys
def table(data):
    directory = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 144  # PE32+: the security entry
    return directory, *struct.unpack_from("<II", data, directory)
signed, out, how = sys.argv[1:]
data = bytearray(open(signed, "rb").read())
directory, offset, size = table(data)
if how.startswith("+"):
    entry = data[offset:offset + size] + bytes(int(how[1:]))
    struct.pack_into("<I", entry, 0, len(entry))
else:
    other = open(how, "rb").read()
    _, other_offset, other_size = table(other)
    entry = other[other_offset:other_offset + other_size]
data = data[:offset] + entry
struct.pack_into("<II", data, directory, offset, len(entry))
open(out, "wb").write(data)
PY
}
retable token-signed.exe moved.exe other-signed.exe
retable token-signed.exe padded.exe +120
for refused in other-signed.exe moved.exe padded.exe; do
  if "$source/scripts/check-signed-exe" "$exe" "$refused" taken.sig 2> refused.log || [ -e taken.sig ]; then
    echo "FAIL: $refused was taken into the release"; exit 1
  fi
  echo "refused $refused: $(cat refused.log)"
done
"$source/scripts/check-signed-exe" "$exe" token-signed.exe taken.sig ||
  { echo "FAIL: the release refused this build's own signed exe"; exit 1; }
# The detached route: this build's signature gives back the signed exe; another build's is refused.
"$source/scripts/attach-signature" "$exe" taken.sig attached.exe && cmp attached.exe token-signed.exe ||
  { echo "FAIL: the detached signature does not give back this build's signed exe"; exit 1; }
osslsigncode extract-signature -in other-signed.exe -out other.sig >/dev/null
if "$source/scripts/attach-signature" "$exe" other.sig wrong.exe 2> refused.log || [ -e wrong.exe ]; then
  echo "FAIL: another build's detached signature was attached"; exit 1
fi
echo "took this build's signed exe and its detached signature; refused another build's ($(cat refused.log))"
