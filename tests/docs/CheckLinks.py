#!/usr/bin/env python3
"""Finds every relative link and picture in the given Markdown files and fails, naming them, on
each one whose file does not exist. Addresses with a scheme (https:, mailto:) and links within a
page (#...) are left alone; a link's own #anchor is not checked.
Usage: CheckLinks.py FILE.md..."""
import pathlib
import re
import sys

# [text](target) and ![alt](target "title"), and reference definitions: [name]: target
INLINE = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^\s*\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)", re.MULTILINE)

broken = []
for name in sys.argv[1:]:
    page = pathlib.Path(name)
    # Code spans and blocks hold examples, not links.
    text = re.sub(r"```.*?```|`[^`\n]*`", "", page.read_text(), flags=re.DOTALL)
    for target in INLINE.findall(text) + REFERENCE.findall(text):
        if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:|^#", target):
            continue
        path = target.split("#", 1)[0]
        if not (page.parent / path).exists():
            broken.append(f"{name}: {target}")
print("\n".join(f"broken link: {link}" for link in broken) or f"every relative link in {len(sys.argv) - 1} files holds")
sys.exit(1 if broken else 0)
