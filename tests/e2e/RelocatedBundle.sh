#!/usr/bin/env bash
# Unpacks the test bundle into a fresh folder outside the build tree, whose path has a space,
# and runs its run-tests.cmd there under Wine with a fresh prefix, as a person would on Windows,
# on a desktop scaled to 150 % as most laptops are.
# Usage: RelocatedBundle.sh BUNDLE.zip [ARGUMENT-FOR-RUN-TESTS...]
set -euo pipefail
[ $# -ge 1 ] || { sed -n '4s/^# //p' "$0" >&2; exit 2; }
bundle=$(realpath "$1")
shift

work=$(mktemp -d "/tmp/vigilantmouse bundle.XXXXXX")
export WINEPREFIX="$work/wine prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/some folder"
cd "$work/some folder"
cmake -E tar xf "$bundle"
# 144 DPI: Wine from 10.0 on scales a process unaware of DPI, as Windows does.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null

wine cmd /c run-tests.cmd "$@"
[ -s results.xml ] || { echo "FAIL: run-tests.cmd wrote no results.xml in $PWD"; exit 1; }
for box in help confirmation toggled-off; do
  [ -s "shots/$box.png" ] || { echo "FAIL: no picture of the $box box in $PWD/shots"; exit 1; }
done
echo "The bundle passed in $PWD"
