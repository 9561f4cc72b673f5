# Reads one container job of a workflow for .ci/rehearse, as GitHub would run it for the event
# given, and writes its steps to STEPS-DIR: NN/kind (run, checkout, upload or skipped), NN/name and
# what that kind needs. What it does not model it refuses by name, before any root is made: a step
# left out or run otherwise would pass here and fail on GitHub.
# Usage: read-job.py WORKFLOW JOB STEPS-DIR CONTEXT.json   (prints the image's Debian release)
import json, os, re, sys
import yaml

workflow_path, job_name, out, context_path = sys.argv[1:]
context = json.load(open(context_path))
workflow = yaml.safe_load(open(workflow_path))
job = (workflow.get("jobs") or {}).get(job_name)


def refuse(what):
    sys.exit(f"error: {workflow_path} job {job_name}: {what} is not modelled by this rehearsal:"
             " rehearse it on GitHub, or model it in .ci/read-job.py first")


# The expressions our workflows use: github.* and vars.*, quoted strings, true and false, ==, !=,
# !, &&, || and parentheses. GitHub compares strings ignoring case; && and || give an operand.
TOKEN = re.compile(r"\s*(?:(==|!=|&&|\|\||!|\(|\))|'((?:[^']|'')*)'|([A-Za-z_][\w.-]*))")


def evaluate(text):
    tokens, at = [], 0
    while text[at:].strip():
        match = TOKEN.match(text, at)
        if not match:
            refuse(f"the expression '{text}'")
        tokens.append(match.groups())
        at = match.end()
    tokens.append((None, None, None))

    def value():
        op, string, name = tokens.pop(0)
        if op == "!":
            return not truthy(value())
        if op == "(":
            result = either()
            if tokens.pop(0)[0] != ")":
                refuse(f"the expression '{text}'")
            return result
        if string is not None:
            return string.replace("''", "'")
        if name in ("true", "false"):
            return name == "true"
        if name and name.startswith("vars."):
            return context["vars"].get(name[5:], "")
        if name and name.startswith("github.") and name[7:] in context["github"]:
            return context["github"][name[7:]]
        refuse(f"'{name or op}' in the expression '{text}'")

    def compared():
        left = value()
        while tokens[0][0] in ("==", "!="):
            op = tokens.pop(0)[0]
            right = value()
            same = (left.lower() == right.lower() if isinstance(left, str) and isinstance(right, str)
                    else left == right)
            left = same if op == "==" else not same
        return left

    def chain(operand, op, combine):
        left = operand()
        while tokens[0][0] == op:
            tokens.pop(0)
            left = combine(left, operand())
        return left

    def both():
        return chain(compared, "&&", lambda left, right: right if truthy(left) else left)

    def either():
        return chain(both, "||", lambda left, right: left if truthy(left) else right)

    result = either()
    if tokens[0] != (None, None, None):
        refuse(f"the expression '{text}'")
    return result


def truthy(v):
    return v not in ("", False, None)


def text_of(v):
    return ("true" if v else "false") if isinstance(v, bool) else str(v)


def interpolate(text):
    return re.sub(r"\$\{\{(.*?)\}\}", lambda m: text_of(evaluate(m.group(1))), str(text))


def condition(text):
    return truthy(evaluate(re.sub(r"^\s*\$\{\{(.*)\}\}\s*$", r"\1", str(text))))


def environment(*tables):
    return "".join(f"{k}={interpolate(v)}\0" for table in tables for k, v in (table or {}).items())


if not job or not isinstance(job.get("container"), dict):
    sys.exit(f"error: {workflow_path} has no container job {job_name}")
releases = {"debian:12": "bookworm", "debian:13": "trixie"}
image = job["container"].get("image")
if image not in releases or "--privileged" not in job["container"].get("options", ""):
    refuse(f"the container {image} (unprivileged, or an image other than debian:12 and debian:13)")
for key in set(job) - {"name", "runs-on", "outputs", "container", "timeout-minutes", "environment", "env", "steps"}:
    refuse(f"the job key '{key}'")
if "environment" in job:  # its approval is a person's
    print(f"note: environment {interpolate(job['environment'])} is not modelled: its approval is a person's", file=sys.stderr)
os.makedirs(out)
open(f"{out}/minutes", "w").write(str(job.get("timeout-minutes", 360)))  # GitHub's default
open(f"{out}/environment", "w").write(environment(workflow.get("env"), job.get("env")))
checkout = next((s for s in job["steps"] if str(s.get("uses", "")).startswith("actions/checkout@")), {})
open(f"{out}/depth", "w").write(str((checkout.get("with") or {}).get("fetch-depth", 1)))
for number, step in enumerate(job["steps"], 1):
    where, uses, given = f"step {number}", str(step.get("uses", "")), step.get("with") or {}
    for key in set(step) - {"name", "id", "run", "uses", "with", "shell", "env", "if"}:
        refuse(f"{where}'s key '{key}'")
    if step.get("shell", "bash") != "bash":
        refuse(f"{where}'s shell '{step['shell']}'")
    folder = f"{out}/{number:02}"
    os.makedirs(folder)
    open(f"{folder}/name", "w").write(str(step.get("name", uses or step.get("run", "").split("\n")[0])))
    if "if" in step and not condition(step["if"]):
        kind = "skipped"
    elif "run" in step:
        kind = "run"
        open(f"{folder}/script", "w").write(interpolate(step["run"]))
        # In a container job a step without shell: runs as sh -e, dash on Debian (actions/runner,
        # ScriptHandler.cs); shell: bash as bash --noprofile --norc -e -o pipefail.
        open(f"{folder}/shell", "w").write(step.get("shell", "sh"))
        open(f"{folder}/environment", "w").write(environment(step.get("env")))
    elif uses.startswith("actions/checkout@") and set(given) <= {"fetch-depth", "persist-credentials"}:
        kind = "checkout"
    elif uses.startswith("actions/upload-artifact@") and set(given) <= {"name", "path", "if-no-files-found"}:
        kind = "upload"
        open(f"{folder}/path", "w").write(interpolate(given["path"]))
    else:
        refuse(f"{where}'s action '{uses}' with {sorted(given)}")
    open(f"{folder}/kind", "w").write(kind)
print(releases[image])
