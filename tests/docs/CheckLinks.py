#!/usr/bin/env python3
"""Finds every link and picture in the given Markdown files, in whatever form a Markdown parser
reads (inline, with a title, in angle brackets, by reference, or an HTML <a href> or <img src>),
and fails, naming them, on each relative one whose file does not exist. Addresses with a scheme
(https:, mailto:) and links within a page (#...) are left alone; a link's own #anchor is not
checked, nor is a page of GitHub's that a repository's top-level document names from two folders
up (../../releases). Usage: CheckLinks.py FILE.md..."""
import html.parser
import pathlib
import re
import sys
import urllib.parse

from markdown_it import MarkdownIt


class HtmlTargets(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        self.targets += [value for name, value in attrs if name in ("href", "src") and value]


def targets(text):
    env = {}
    tokens = MarkdownIt("commonmark").enable("table").parse(text, env)
    found = [ref["href"] for ref in env.get("references", {}).values()]
    html = HtmlTargets()
    for token in tokens:
        for child in [token] + (token.children or []):
            if child.type in ("link_open", "image"):
                found.append(child.attrGet("href") or child.attrGet("src"))
            elif child.type in ("html_inline", "html_block"):
                html.feed(child.content)
    return dict.fromkeys(found + html.targets)  # each once, in order


broken = []
for name in sys.argv[1:]:
    page = pathlib.Path(name)
    for target in targets(page.read_text()):
        if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:|^#", target):
            continue
        if (page.parent / ".github").is_dir() and re.match(r"^\.\./\.\./(releases|issues)(/|$)", target):
            continue
        path = urllib.parse.unquote(target.split("#", 1)[0])
        if not (page.parent / path).exists():
            broken.append(f"{name}: {path}")
print("\n".join(f"broken link: {link}" for link in broken) or f"every relative link in {len(sys.argv) - 1} files holds")
sys.exit(1 if broken else 0)
