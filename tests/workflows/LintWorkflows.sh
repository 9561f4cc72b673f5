#!/usr/bin/env bash
# Lints every workflow of the project with the pinned action-validator, which checks each file
# against the published workflow schema and resolves every needs:. It is installed from the
# lock file beside this script into WORK-DIR.
# Usage: LintWorkflows.sh SOURCE-DIR WORK-DIR
set -euo pipefail
[ $# -eq 2 ] || { sed -n '5s/^# //p' "$0" >&2; exit 2; }
source=$1 work=$2
mkdir -p "$work"
cp "$(dirname "$0")/package.json" "$(dirname "$0")/package-lock.json" "$work/"
npm ci --prefix "$work" --no-audit --no-fund --loglevel=error >/dev/null ||
  { echo "FAIL: npm could not install the workflow linter from the npm registry"; exit 1; }

shopt -s nullglob
workflows=("$source"/.github/workflows/*.yml "$source"/.github/workflows/*.yaml)
[ ${#workflows[@]} -gt 0 ] || { echo "FAIL: no workflow files in $source/.github/workflows"; exit 1; }
failed=0
for workflow in "${workflows[@]}"; do
  if "$work/node_modules/.bin/action-validator" "$workflow"; then
    echo "ok      ${workflow#"$source"/}"
  else
    echo "FAILED  ${workflow#"$source"/}"; failed=1
  fi
done
exit $failed
