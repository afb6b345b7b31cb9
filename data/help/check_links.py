#!/usr/bin/env python3
"""Checks the help pages: every tag is closed in order, and every link points to an existing
file (and anchor) inside the help folder. Prints each fault; exit status 1 when there is one."""
import os
import sys
from html.parser import HTMLParser
from urllib.parse import urldefrag

kVoid = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "wbr"}
kRoot = os.path.join(os.path.dirname(os.path.abspath(__file__)), "html")


class TPage(HTMLParser):
    def __init__(self):
        super().__init__()
        self.Open, self.Ids, self.Links, self.Faults = [], set(), [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.Ids.add(attrs["id"])
        for key in ("href", "src"):
            if attrs.get(key) is not None:
                self.Links.append((self.getpos()[0], attrs[key]))
        if tag not in kVoid:
            self.Open.append((tag, self.getpos()[0]))

    def handle_endtag(self, tag):
        if not self.Open or self.Open[-1][0] != tag:
            self.Faults.append(f"line {self.getpos()[0]}: </{tag}> does not close "
                               f"{'<%s> of line %d' % self.Open[-1] if self.Open else 'anything'}")
            return
        self.Open.pop()


def main():
    pages = {}
    for folder, _, files in os.walk(kRoot):
        for name in files:
            if name.endswith(".htm"):
                path = os.path.join(folder, name)
                page = TPage()
                with open(path, encoding="utf-8") as f:
                    page.feed(f.read())
                page.Faults += [f"line {line}: <{tag}> is never closed" for tag, line in page.Open]
                pages[os.path.normpath(path)] = page
    faults = []
    for path, page in sorted(pages.items()):
        rel = os.path.relpath(path, kRoot)
        faults += [f"{rel}: {fault}" for fault in page.Faults]
        for line, link in page.Links:
            if "://" in link or link.startswith(("/", "mailto:", "//")):
                faults.append(f"{rel}: line {line}: not a relative link: {link}")
                continue
            target, anchor = urldefrag(link)
            target = os.path.normpath(os.path.join(os.path.dirname(path), target)) if target else path
            if not target.startswith(kRoot) or not os.path.exists(target):
                faults.append(f"{rel}: line {line}: missing file: {link}")
            elif anchor and target in pages and anchor not in pages[target].Ids:
                faults.append(f"{rel}: line {line}: missing anchor: {link}")
    print("\n".join(faults) or f"{len(pages)} pages checked, no faults")
    return 1 if faults else 0


sys.exit(main())
