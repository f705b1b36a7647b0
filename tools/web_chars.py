#!/usr/bin/env python3
"""Prints every character the program can show: printable ASCII and each other character in the sources' texts
(the layout, the logic's messages, the planner's captions) and the web page's own. The web build subsets its
fonts to these."""
import pathlib
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
chars = {chr(c) for c in range(0x20, 0x7F)}
sources = [p for p in (root / "src").rglob("*") if p.suffix in {".cpp", ".h", ".html", ".js"}]
for path in sources:
    # The other front ends' own texts never show in the page.
    if "sdl" in path.parts or "win32" in path.parts:
        continue
    chars.update(c for c in path.read_text(encoding="utf-8") if ord(c) > 0x7F)
sys.stdout.write("".join(sorted(chars)))
