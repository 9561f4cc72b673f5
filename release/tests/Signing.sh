#!/usr/bin/env bash
# Detached signatures of the tested exe, made with throwaway keys as a signer would: extracted from
# an exe that osslsigncode signed, and made by release/sign-pkcs11 on a SoftHSM2 token. Each must be
# taken by the release's check and strip back to the tested bytes; the check must refuse every
# unsound signature, each for its own reason.
# Usage: Signing.sh SOURCE-DIR EXE WORK-DIR
set -euo pipefail
[ $# -eq 3 ] || { sed -n '6s/^# //p' "$0" >&2; exit 2; }
source=$1 exe=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
check=$source/release/check-signature

expect_sound_signature() {  # expect_sound_signature SIG SIGNER WHICH
  "$check" "$exe" "$1" "$2" signed.exe || { echo "FAIL: the signature $3 was refused"; exit 1; }
  osslsigncode remove-signature -in signed.exe -out stripped.exe >/dev/null
  cmp stripped.exe "$exe" || { echo "FAIL: stripping the signature $3 does not give back the tested exe"; exit 1; }
  rm signed.exe stripped.exe
  echo "signed $3: taken, and stripped back to the tested bytes"
}
flip() {  # flip FILE OFFSET: one bit of that byte
  printf "\\x$(printf %02x $(($(od -An -tu1 -j "$2" -N 1 "$1") ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
certificate() {  # certificate NAME [KEY-TYPE OPTIONS...]: NAME.pem and NAME.key, a throwaway code-
  # signing certificate (RSA-2048 unless told) whose CRL, like a public CA's, is named at an address
  # that nothing here can reach.
  openssl req -x509 -newkey "${@:2}" -nodes -keyout "$1.key" -out "$1.pem" -days 1 \
    -subj "/CN=VigilantMouse-$1" -addext extendedKeyUsage=codeSigning \
    -addext crlDistributionPoints=URI:http://crl.invalid/signer.crl 2>/dev/null
}
dated_certificate() {  # dated_certificate DIR/NAME EXTENSION FROM UNTIL: valid then only, self-issued
  printf '%s\n' '[ca]' default_ca=d '[d]' database=index.txt new_certs_dir=. serial=serial default_md=sha256 \
    policy=p '[p]' commonName=supplied '[codeSigning]' extendedKeyUsage=codeSigning \
    '[timeStamping]' extendedKeyUsage=critical,timeStamping > ca.cnf
  : > index.txt && echo 01 > serial && mkdir -p "$(dirname "$1")"
  openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=VigilantMouse-${1//\//-}" -out request.csr 2>/dev/null
  openssl ca -batch -config ca.cnf -selfsign -keyfile "$1.key" -in request.csr -out "$1.pem" -notext \
    -extensions "$2" -startdate "$3" -enddate "$4" 2>/dev/null
}
sign() {  # sign NAME EXE SIG [OPTIONS...]: EXE signed with NAME's key (SHA-256 unless told), its
  # signature extracted to SIG
  osslsigncode sign -h sha256 "${@:4}" -certs "$1.pem" -key "$1.key" -n VigilantMouse -in "$2" -out "$3.exe" >/dev/null
  osslsigncode extract-signature -in "$3.exe" -out "$3" >/dev/null
}

certificate signer rsa:2048
sign signer "$exe" file.sig
expect_sound_signature file.sig signer.pem "by osslsigncode with a key in a file"

# A token of its own, in this folder; its PINs are a test token's, known to all.
export SOFTHSM2_CONF=$PWD/softhsm2.conf
mkdir tokens && echo "directories.tokendir = $PWD/tokens" > "$SOFTHSM2_CONF"
module=$(find /usr/lib -name libsofthsm2.so -print -quit)
[ -n "$module" ] || { echo "FAIL: SoftHSM2's PKCS#11 module is missing: run scripts/install-packages"; exit 1; }
softhsm2-util --init-token --free --label vigilantmouse-test --so-pin 1234 --pin 5678 >/dev/null
pkcs11-tool --module "$module" --login --pin 5678 --keypairgen --key-type rsa:2048 --id 01 --label signer >/dev/null 2>&1
key="pkcs11:token=vigilantmouse-test;object=signer;type=private"
openssl req -engine pkcs11 -keyform engine -key "$key;pin-value=5678" -new -x509 -days 1 \
  -subj /CN=VigilantMouse-token -addext extendedKeyUsage=codeSigning -out token.pem >/dev/null 2>&1 ||
  { echo "FAIL: no certificate for the token's key (is libengine-pkcs11-openssl installed?)"; exit 1; }
sign_on_token() { VIGILANTMOUSE_SIGN_PIN=$1 "$source/release/sign-pkcs11" --module "$module" --key "$key" \
  --certs token.pem "$exe" "$2" >/dev/null; }
sign_on_token 5678 token.sig
expect_sound_signature token.sig token.pem "through PKCS#11 with a key on a token"
! sign_on_token 0000 wrong-pin.sig 2>/dev/null || { echo "FAIL: a wrong PIN signed"; exit 1; }

# What the check must refuse. bookworm's osslsigncode extracts the certificate table's entry (an
# 8-byte header, then the PKCS#7, padded to 8 bytes): the other form must be read the same way.
certificate other rsa:2048
sign other "$exe" other-signer.sig
# What Windows no longer takes: weak digests, an elliptic-curve key, a short RSA key; and a signer
# file that holds its private key, as openssl pkcs12 -nodes writes it.
sign signer "$exe" md5.sig -h md5 && sign signer "$exe" sha1.sig -h sha1
certificate ec ec -pkeyopt ec_paramgen_curve:P-256 && sign ec "$exe" ec.sig
certificate short rsa:1024 && sign short "$exe" short.sig
cat signer.pem signer.key > with-key.pem
# A certificate that expired: its signature holds only with a timestamp judged against the
# timestamp authority's certificates (tsa.pem beside the signer), made while it was valid.
dated_certificate expired/signer codeSigning 20240101000000Z 20241231000000Z
dated_certificate expired/tsa timeStamping 20200101000000Z 20351231000000Z
mkdir no-tsa other-tsa && cp expired/signer.pem no-tsa/ && cp expired/signer.pem other-tsa/ && cp signer.pem other-tsa/tsa.pem
then=$(date -u -d 2024-06-01 +%s)
sign expired/signer "$exe" expired.sig -time "$then"
refused_stamps=()
if [[ $(osslsigncode -h 2>&1 || true) == *-TSA-certs* ]]; then
  sign expired/signer "$exe" stamped.sig -time "$then" -TSA-certs expired/tsa.pem -TSA-key expired/tsa.key -TSA-time "$then"
  expect_sound_signature stamped.sig expired/signer.pem "by a certificate that has expired since, timestamped while it was valid"
  refused_stamps=("stamped.sig|no-tsa/signer.pem|it is timestamped, but there is no no-tsa/tsa.pem"
    "stamped.sig|other-tsa/signer.pem|its timestamp does not verify against other-tsa/tsa.pem: self-signed certificate")
else
  echo "SKIPPED: the timestamped signatures: osslsigncode $(osslsigncode -v | sed -n '1s/^osslsigncode //p' | cut -d, -f1) cannot timestamp by itself (Debian 13's can)"
fi
cp "$exe" other-build.exe && flip other-build.exe 4096 && sign signer other-build.exe other-build.sig
openssl pkcs7 -inform DER -in file.sig -outform DER -out bare.p7 2>/dev/null || tail -c +9 file.sig > bare.p7
cp bare.p7 corrupt.sig
flip corrupt.sig $(($(stat -c %s corrupt.sig) - 10))  # within the RSA signature value, the last field
size=$(stat -c %s bare.p7) padded=$((($(stat -c %s bare.p7) + 15) / 8 * 8))
{ printf "$(printf '\\x%02x' $((padded & 255)) $((padded >> 8 & 255)) 0 0 0 2 2 0)"; cat bare.p7
  head -c $((padded - 8 - size)) /dev/zero; } > entry.sig
echo "not a signature" > junk.sig
# Second signatures nested in the first, which Windows leaves unchecked: another certificate's
# first with the signer's inside, and the signer's twice, its first signature value corrupt.
sign signer other-signer.sig.exe other-then-signer.sig -nest
sign signer file.sig.exe twice.sig -nest
openssl pkcs7 -inform DER -in twice.sig -outform DER -out corrupt-first.sig 2>/dev/null || tail -c +9 twice.sig > corrupt-first.sig
# The first 256-byte OCTET STRING is the first signer's RSA value; the nested one comes after it.
# awk reads to the end: leaving early would kill asn1parse with SIGPIPE, and pipefail with it.
value=$(openssl asn1parse -inform DER -in corrupt-first.sig | awk -F'[:= ]+' '/OCTET STRING/ && / l= *256 / && !found {
  for (i = 1; i < NF; i++) if ($i == "hl") { print $2 + $(i + 1); found = 1 } }')
[ -n "$value" ] || { echo "FAIL: no RSA value found in the nested signature: update this test"; exit 1; }
flip corrupt-first.sig $((value + 10))
"$check" "$exe" entry.sig signer.pem entry.exe && "$check" "$exe" bare.p7 signer.pem bare.exe && cmp -s entry.exe bare.exe ||
  { echo "FAIL: the two extracted forms of one signature do not give the same signed exe"; exit 1; }
echo "read both extracted forms (bare, and in a table entry) alike"

refused=(  # signature | signer | the reason it must be refused for
  "corrupt.sig|signer.pem|it does not verify against signer.pem: signature failure"
  "other-signer.sig|signer.pem|it was made by another certificate"
  "other-build.sig|signer.pem|its signed digest is not this exe's"
  "junk.sig|signer.pem|holds no Authenticode signature"
  "other-then-signer.sig|signer.pem|it holds 2 signatures"
  "corrupt-first.sig|signer.pem|it holds 2 signatures"
  "md5.sig|signer.pem|its digest is MD5"
  "sha1.sig|signer.pem|its digest is SHA1"
  "ec.sig|ec.pem|not RSA of at least 2048 bits"
  "short.sig|short.pem|not RSA of at least 2048 bits"
  "file.sig|with-key.pem|with-key.pem holds a block other than a certificate (BEGIN PRIVATE KEY)"
  "expired.sig|expired/signer.pem|it does not verify against expired/signer.pem: certificate has expired"
  ${refused_stamps[@]+"${refused_stamps[@]}"}
)
for row in "${refused[@]}"; do
  IFS='|' read -r sig signer reason <<< "$row"
  if "$check" "$exe" "$sig" "$signer" taken.exe 2> refused.log || [ -e taken.exe ]; then
    echo "FAIL: $sig was taken"; exit 1
  fi
  grep -qF -- "$reason" refused.log || { cat refused.log; echo "FAIL: $sig was refused, but not for \"$reason\""; exit 1; }
  rm -f taken.exe
  echo "refused $sig: $(cat refused.log)"
done
