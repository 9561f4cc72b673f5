#!/usr/bin/env bash
# Words a release must refuse before anything runs: a package id that closes a quote and runs a
# command, a control character, a look-alike letter, and empty signing values that would
# otherwise give an unsigned release without a word. Nothing may run on this machine.
# Usage: ReleaseArguments.sh SOURCE-DIR WORK-DIR
set -euo pipefail
[ $# -eq 2 ] || { sed -n '5s/^# //p' "$0" >&2; exit 2; }
source=$1 work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"

addresses=(--download-url https://downloads.example.org/1.0.0 --homepage https://example.org)
hostile=$'Pub.Name\001\';touch${IFS}pwned;#'
refuse() {  # refuse WHAT ARGUMENT...
  if "$source/scripts/release" "${@:2}" > refused.log 2>&1; then
    echo "FAIL: the release took $1"; exit 1
  fi
  grep -q -e '^error: ' -e '^Usage: ' refused.log || { cat refused.log; echo "FAIL: $1: refused without a reason"; exit 1; }
  echo "refused $1: $(head -1 refused.log | tr -d '[:cntrl:]')"
}
refuse "a package id that closes a quote and runs touch" "${addresses[@]}" --package-id "$hostile"
refuse "a package id with a control character" "${addresses[@]}" --package-id $'Pub.Na\001me'
refuse "a package id with a Cyrillic a" "${addresses[@]}" --package-id 'Pub.Nаme'
refuse "a timestamp address with a control character" --sign x.p12 --timestamp $'http://ts.example.org/\001'
refuse "an empty --sign" --sign ''
refuse "an empty --signed-exe" --signed-exe ''
refuse "an empty --signature" --signature ''
for place in "$work" "$source"; do
  [ ! -e "$place/pwned" ] || { echo "FAIL: a word ran a command: $place/pwned exists"; exit 1; }
done
