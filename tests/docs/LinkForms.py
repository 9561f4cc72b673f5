#!/usr/bin/env python3
"""Each form of link our documents use, pointing at a file that does not exist, must be reported
by CheckLinks.py; the same forms pointing at a file that exists, an address and a code example
must not. Usage: LinkForms.py CHECKLINKS.py WORK-FOLDER"""
import pathlib
import subprocess
import sys

FORMS = [  # each form, and the file it names
    ("[text](gone-inline.md)", "gone-inline.md"),
    ("[text](gone-titled.md 'a title')", "gone-titled.md"),
    ('[text](gone-double-titled.md "a title")', "gone-double-titled.md"),
    ("[text](<gone angled.md>)", "gone angled.md"),
    ("[text](gone-anchored.md#a-section)", "gone-anchored.md"),
    ("![picture](gone-picture.png)", "gone-picture.png"),
    ("[text][name]\n\n[name]: gone-reference.md", "gone-reference.md"),
    ('<img src="gone-html-picture.png" alt="a picture">', "gone-html-picture.png"),
    ('<a href="gone-html-link.md">text</a>', "gone-html-link.md"),
    ("| a | table |\n| --- | --- |\n| [text](gone-in-a-table.md) | cell |", "gone-in-a-table.md"),
    ("- a list with [a link](gone-in-a-list.md)", "gone-in-a-list.md"),
]
HOLDING = "[here](present.md 'title') <img src=\"present.md\"> [away](https://example.org/x.md) `[code](gone.md)`\n"

checker, work = sys.argv[1], pathlib.Path(sys.argv[2])
work.mkdir(parents=True, exist_ok=True)
(work / "present.md").write_text("present\n")
failures = []
for number, (form, missing) in enumerate(FORMS + [("", None)]):
    page = work / f"form-{number}.md"
    page.write_text(HOLDING + "\n" + form + "\n")
    run = subprocess.run([sys.executable, checker, str(page)], capture_output=True, text=True)
    reported = [line.split(": ", 2)[-1] for line in run.stdout.splitlines() if line.startswith("broken link:")]
    if reported != ([missing] if missing else []) or (run.returncode == 0) != (missing is None):
        failures.append(f"{form or 'only links that hold'!r}: reported {reported}, exit code {run.returncode}")
print("\n".join(failures) or f"every one of {len(FORMS)} link forms to a missing file was reported")
sys.exit(1 if failures else 0)
