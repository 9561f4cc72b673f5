#!/usr/bin/env bash
# Words a release must refuse before anything runs (a package id that runs a command, a control
# character, a look-alike letter, an empty signature, a root step outside its root), and git told
# to show other bytes than the commit's. Then the same words handed to a command in a throwaway
# root must arrive intact, with no file dated ahead of the clock. Nothing may run on this machine.
# Usage: ReleaseArguments.sh SOURCE-DIR WORK-DIR
set -euo pipefail
[ $# -eq 2 ] || { sed -n '6s/^# //p' "$0" >&2; exit 2; }
source=$1 work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"

addresses=(--download-url https://downloads.example.org/1.0.0 --homepage https://example.org)
hostile=$'Pub.Name\001\';touch${IFS}pwned;#'
refuse() {  # refuse WHAT EXPECTED-REASON COMMAND...: refused, for that reason and no other
  if "${@:3}" > refused.log 2>&1; then
    echo "FAIL: $3 took $1"; exit 1
  fi
  grep -qF -- "$2" refused.log || { cat refused.log; echo "FAIL: $1: not refused for \"$2\""; exit 1; }
  echo "refused $1: $(head -1 refused.log | tr -d '[:cntrl:]')"
}
release=$source/release/release
id_rule="is not a package identifier this release takes"
refuse "a package id that closes a quote and runs touch" "$id_rule" "$release" "${addresses[@]}" --package-id "$hostile"
refuse "a package id with a control character" "$id_rule" "$release" "${addresses[@]}" --package-id $'Pub.Na\001me'
refuse "a package id with a Cyrillic a" "$id_rule" "$release" "${addresses[@]}" --package-id 'Pub.Nаme'
refuse "a timestamp address with a control character" "is not an http:// or https:// address" \
  "$source/release/sign-pkcs11" --module x.so --key pkcs11:x --certs x.pem --timestamp $'http://ts.example.org/\001' x.exe x.sig
# A signing step that fails must not report success, nor leave the last signature in place.
mkdir stub && printf '#!/bin/sh\n[ "$1" = sign ] || exit 1\nwhile [ "$1" != -out ]; do shift; done; touch "$2"\n' \
  > stub/osslsigncode && chmod +x stub/osslsigncode && touch token.so chain.pem unsigned.exe && echo kept > last.sig
refuse "a signature that could not be extracted" "could not be extracted: last.sig is left as it was" \
  env PATH="$PWD/stub:$PATH" VIGILANTMOUSE_SIGN_PIN=0000 "$source/release/sign-pkcs11" --module "$PWD/token.so" \
  --key pkcs11:token=t --certs chain.pem unsigned.exe last.sig
[ "$(cat last.sig)" = kept ] || { echo "FAIL: a failed signing changed last.sig"; exit 1; }
refuse "an empty --signature" "Usage: release/release" "$release" --signature ''
refuse "a release that must be signed, with no signature" "no signature: commit signatures/" "$release" --signed
refuse "the release's build outside its root" "this runs only in the throwaway root" \
  env -u VIGILANTMOUSE_IN_ROOT "$source/release/build-release"
# In a clone of the commit: a change that git status does not show, and a zip renamed to
# another version than the commit's. A tree copied without its repository has no commit.
if git -C "$source" rev-parse --git-dir > /dev/null 2>&1; then
  git clone -q "$source" clone && echo changed >> clone/README.md
  version=$(sed -n 's/^project(VigilantMouse VERSION \([^ )]*\).*/\1/p' clone/CMakeLists.txt)
  git -C clone update-index --skip-worktree README.md
  refuse "a change hidden with --skip-worktree" "git is told to overlook changes to README.md" clone/release/release
  git -C clone update-index --no-skip-worktree README.md && git -C clone checkout -q README.md
  # Without --signature, the signature committed for the version is taken, and checked.
  echo junk > "clone/signatures/VigilantMouse-$version-win64.sig"
  git -C clone add signatures && git -C clone -c user.name=test -c user.email=test@example.org commit -qm signed
  refuse "a committed signature, with no signer to check it" "the commit has no signatures/signer.pem" \
    clone/release/release --signed
  # The zip of a signed release, its exe stripped of the signature that the commit holds.
  mkdir stripped && echo unsigned > stripped/VigilantMouse.exe
  (cd stripped && cmake -E tar cf "../VigilantMouse-$version-win64.zip" --format=zip VigilantMouse.exe)
  refuse "a signed release's zip stripped of its signature" "carries no signature, but the commit holds" \
    clone/release/verify-release "VigilantMouse-$version-win64.zip"
  git -C clone reset -q --hard HEAD~1
  touch VigilantMouse-9.9.9-win64.zip
  refuse "a zip renamed to another version" "is not the zip of this commit's version" \
    clone/release/verify-release VigilantMouse-9.9.9-win64.zip
  # git told to show other bytes than the commit's: a replace object, and a filter whose command
  # must not even run. The source archive holds the commit's bytes all the same.
  git -C clone replace "$(git -C clone rev-parse HEAD:README.md)" "$(echo replaced | git -C clone hash-object -w --stdin)"
  git -C clone config filter.hostile.smudge "touch $work/pwned; cat"
  echo 'LICENSE filter=hostile' > clone/.git/info/attributes
  clone/release/source-archive archive.tar && mkdir archived committed && tar -C archived -xf archive.tar
  git -C "$source" archive HEAD | tar -C committed -xf -
  diff -qr archived committed || { echo "FAIL: a replace object or a filter changed the source archive"; exit 1; }
  echo "the source archive held the commit's bytes, despite a replace object and a filter"
  # A forged loose tree under the genuine id of src/, listing LICENSE's blob as main.cpp: each
  # blob is genuine, the tree is not. (The clone's objects are the source's, hard-linked.)
  # Git reads a packed object before a loose one, so the clone's packs are unpacked first: the
  # forgery is then what git reads, as in a repository whose recent objects are still loose.
  mkdir packs && find clone/.git/objects/pack -name 'pack-*' -exec mv {} packs/ \;
  for pack in packs/*.pack; do [ ! -e "$pack" ] || git -C clone unpack-objects -q < "$pack"; done
  git -C clone cat-file tree HEAD:src > src.tree
  python3 - "$(git -C clone rev-parse HEAD:src)" "$(git -C clone rev-parse HEAD:src/main.cpp)" \
    "$(git -C clone rev-parse HEAD:LICENSE)" clone/.git/objects <<'PY'
import os, sys, zlib
tree, genuine, other, objects = sys.argv[1:]
body = open("src.tree", "rb").read().replace(bytes.fromhex(genuine), bytes.fromhex(other))
path = os.path.join(objects, tree[:2], tree[2:])
os.makedirs(os.path.dirname(path), exist_ok=True)
if os.path.exists(path):
    os.remove(path)  # a link to the source's own object, which must stay as it is
open(path, "wb").write(zlib.compress(b"tree %d\0" % len(body) + body))
PY
  refuse "a forged tree that lists another blob as src/main.cpp" "does not make its tree" \
    clone/release/source-archive forged.tar
  git clone -q --depth 1 "file://$(realpath "$source")" shallow
  zip=VigilantMouse-$version-win64.zip  # the readable zip of the stripped row
  refuse "a shallow clone, by release" "this clone is shallow" shallow/release/release
  refuse "a shallow clone, by verify-release" "this clone is shallow" shallow/release/verify-release "$zip"
else
  echo "skipped: the refusals that need a commit ($source is no git checkout here)"
fi
# A throwaway root is made only from outside one, by root, with the Debian archive in reach, and
# where namespaces may be made: a container without --privileged lacks CAP_SYS_ADMIN.
skipped=0
if [ -n "${VIGILANTMOUSE_IN_ROOT:-}" ] || [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the words through a throwaway root (this runs in one already, or not as root)"
elif ! unshare --pid --fork --mount-proc true 2>/dev/null; then
  echo "SKIPPED: the words through a throwaway root: this machine cannot make one (unshare needs" \
    "CAP_SYS_ADMIN; run a container with --privileged)"
  skipped=1
else
  words=("$hostile" $'ctl\001x' 'wörd' '')
  # Files dated ahead of this clock, as git archive dates those of a commit made so: in the root,
  # none may be newer than the command, or make would rebuild there (an exe after it was signed).
  mkdir ahead && echo 'int main() {}' > ahead/main.cpp && tar --mtime=@4102444800 -C ahead -cf ahead.tar .
  ran=0
  "$source/scripts/in-debian" bookworm --source "$work/ahead.tar" --out "$work/out" -- bash -c 'touch /tmp/started &&
    printf "%s\0" "$@" > /root/out/words && find . -newer /tmp/started > /root/out/later &&
    grep -h "^deb " /etc/apt/sources.list > /root/out/sources' sh \
    "${words[@]}" > root.log 2>&1 3</dev/null 4</dev/null 5</dev/null 6</dev/null 7</dev/null 8</dev/null \
    9</dev/null 10</dev/null || ran=$?  # as a test runner may leave them: open descriptors, 3 to 10
  [ "$ran" -eq 0 ] || { cat root.log; echo "FAIL: the throwaway root did not run"; exit 1; }
  cmp -s out/words <(printf '%s\0' "${words[@]}") ||
    { echo "FAIL: the words did not reach the root intact: $(od -c out/words | head -5)"; exit 1; }
  # Every source bound to Debian's keyring: any archive can say it is Debian in its Release file.
  [ -s out/sources ] && ! grep -v '^deb \[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg\] ' out/sources ||
    { echo "FAIL: the sources above reach the root, not bound to Debian's keyring"; exit 1; }
  [ ! -s out/later ] || { echo "FAIL: files dated ahead reached the root so: $(cat out/later)"; exit 1; }
  echo "passed intact through a throwaway root: $(printf '%q ' "${words[@]}"); every source bound to Debian's keyring, no file dated ahead"
fi
for place in "$work" "$source"; do
  [ ! -e "$place/pwned" ] || { echo "FAIL: a word ran a command: $place/pwned exists"; exit 1; }
done
[ "$skipped" -eq 0 ] || exit 77  # ctest counts it as skipped
