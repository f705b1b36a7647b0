#!/usr/bin/env python3
"""Writes every character the program can show to OUTPUT: printable ASCII and each other character in the
texts of the sources under SRC (the layout, the logic's messages, the planner's captions), leaving out the
folders and files named after it. The file is rewritten only when its content changes, so what is made from it is
made again only then.

  text_chars.py SRC OUTPUT [NAME-TO-LEAVE-OUT...]
"""
import pathlib
import sys

root, output = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
leave_out = set(sys.argv[3:])
chars = {chr(c) for c in range(0x20, 0x7F)}
for path in sorted(root.rglob("*")):
    if path.suffix in {".cpp", ".h", ".html", ".js"} and not leave_out & set(path.relative_to(root).parts):
        chars.update(c for c in path.read_text(encoding="utf-8") if ord(c) > 0x7F)
text = "".join(sorted(chars))
if not output.exists() or output.read_text(encoding="utf-8") != text:
    output.parent.mkdir(parents=True, exist_ok=True)
    output.write_text(text, encoding="utf-8")
