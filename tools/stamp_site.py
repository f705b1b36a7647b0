#!/usr/bin/env python3
"""Readies the built site for a real host.

    tools/stamp_site.py stamp SITE       prints each renamed file's old and new name, a pair a line
    tools/stamp_site.py compress SITE

1. stamp names each file the page loads over the network by its content: moxsim.wasm becomes moxsim.<hash>.wasm, and
   every reference in the site's texts follows. A host may keep such a file for a year, since a new build gives it
   a new name; index.html, the service worker, the manifest and the files of a page opened from a file keep their
   names.
2. compress writes a brotli (.br) and a gzip (.gz) copy beside every file that compression makes smaller, for a host that
   sends precompressed files (packaging/web/nginx.conf).
"""
import gzip
import hashlib
import re
import sys
from pathlib import Path

import brotli

# What the page loads by name, as the build names it. Binary files first: the scripts and the style sheet name
# them, and are stamped after their references are.
STAMPED_BINARY = ["moxsim.wasm", "moxsim-first.bin", "moxsim-assets.bin", "moxsim-2x.bin", "Sans-Regular.woff2",
                  "Sans-Bold.woff2", "Serif-Regular.woff2", "Serif-Bold.woff2", "Sans-Regular-all.woff2",
                  "Sans-Bold-all.woff2"]
STAMPED_TEXT = ["moxsim.js", "moxsim-worker.js", "boot.js", "page.js", "page.css"]
TEXT_SUFFIXES = {".html", ".js", ".css", ".json", ".webmanifest", ".txt", ".svg"}
# Already compressed: a copy would gain nothing.
PACKED_SUFFIXES = {".woff2", ".png", ".jpg", ".jpeg", ".webp", ".avif", ".zip", ".br", ".gz"}


def reference(name):
    return re.compile(r"(?<![A-Za-z0-9_.\-])" + re.escape(name) + r"(?![A-Za-z0-9_])")


def stamped_name(path):
    digest = hashlib.sha256(path.read_bytes()).hexdigest()[:10]
    return f"{path.stem}.{digest}{path.suffix}"


def rename_references(path, renames):
    text = path.read_text(encoding="utf-8")
    for old, new in renames.items():
        text = reference(old).sub(new, text)
    path.write_text(text, encoding="utf-8")


def stamp(site):
    renames = {}
    # A script may carry a file's size as built: /*bytes:moxsim.wasm*/0 becomes /*bytes:moxsim.wasm*/947096.
    for name in STAMPED_TEXT:
        path = site / name
        if path.exists():
            text = path.read_text(encoding="utf-8")
            for size_of in STAMPED_BINARY:
                if (site / size_of).exists():
                    text = text.replace(f"/*bytes:{size_of}*/0", f"/*bytes:{size_of}*/{(site / size_of).stat().st_size}")
            path.write_text(text, encoding="utf-8")
    for name in STAMPED_BINARY:
        path = site / name
        if path.exists():
            renames[name] = stamped_name(path)
            path.rename(site / renames[name])
    for name in STAMPED_TEXT:
        path = site / name
        if not path.exists():
            continue
        rename_references(path, renames)
        # A stamped text naming another stamped text would keep a stale name.
        for other in STAMPED_TEXT:
            if other != name and reference(other).search(path.read_text(encoding="utf-8")):
                raise SystemExit(f"stamp_site: {name} names {other}; stamp {other} first")
        renames[name] = stamped_name(path)
        path.rename(site / renames[name])
    for path in sorted(site.iterdir()):
        if path.is_file() and path.suffix in TEXT_SUFFIXES and path.name not in renames.values():
            rename_references(path, renames)
    return renames


def compress(site):
    for path in sorted(site.rglob("*")):
        if not path.is_file() or path.suffix in PACKED_SUFFIXES:
            continue
        data = path.read_bytes()
        mode = brotli.MODE_TEXT if path.suffix in TEXT_SUFFIXES else brotli.MODE_GENERIC
        for suffix, packed in ((".br", brotli.compress(data, mode=mode, quality=11)),
                               (".gz", gzip.compress(data, compresslevel=9, mtime=0))):
            copy = path.with_name(path.name + suffix)
            if len(packed) < len(data) * 0.95:
                copy.write_bytes(packed)
            elif copy.exists():
                copy.unlink()


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("stamp", "compress") or not Path(sys.argv[2], "index.html").is_file():
        raise SystemExit("usage: stamp_site.py stamp|compress SITE (a folder holding index.html)")
    site = Path(sys.argv[2])
    if sys.argv[1] == "stamp":
        for old, new in stamp(site).items():
            print(old, new)
    else:
        compress(site)


if __name__ == "__main__":
    main()
