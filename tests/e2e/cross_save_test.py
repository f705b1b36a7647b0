#!/usr/bin/env python3
"""A save written by the Linux program loads in the Windows one, and the other way round.

Each side runs its own moxsim-script (the Windows one under Wine): tops up, buys a mix of goods, saves through
the save button, and prints its stock; the other side starts in a folder holding only that MOXdata and must
show the same stock. The two directions buy different goods, so neither can pass by reading its own file.

  cross_save_test.py --linux build/moxsim-script --windows build-win/moxsim-script.exe [--prefix build-win/wine]
"""
import argparse
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def session(purchases):
    """Commands that top up 1000 yuan, buy (goods, quantity) pairs by list index, save and print the stock."""
    lines = ["clock 4242", "select 组合框1 4", "click 图形按钮2"]
    for goods, quantity in purchases:
        lines += ["select 组合框2 %d" % goods, "select 组合框3 %d" % quantity, "click 图形按钮3"]
    lines += ["click 保存数据", "tick 300", "stock", "quit"]
    return "\n".join(lines) + "\n"


def run(command, folder, commands, windows):
    arg = "Z:" + str(folder).replace("/", "\\") if windows else str(folder)
    r = subprocess.run(command + [arg], input=commands.encode("utf-8"), capture_output=True, timeout=120)
    if r.returncode != 0:
        fail("%s ended with %d: %s" % (command[-1], r.returncode, r.stderr.decode("utf-8", "replace")))
    return [line.strip() for line in r.stdout.decode("utf-8", "replace").splitlines() if line.strip()]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--linux", required=True)
    parser.add_argument("--windows", required=True)
    parser.add_argument("--prefix", default=str(ROOT / "build-win" / "wine"))
    args = parser.parse_args()
    linux = [str(Path(args.linux).resolve())]
    windows = [str(ROOT / "scripts" / "wine-run.sh"), "--prefix", args.prefix, str(Path(args.windows).resolve())]
    sides = {"Linux": (linux, False), "Windows": (windows, True)}
    directions = [("Linux", "Windows", [(0, 0), (2, 1), (4, 0)]), ("Windows", "Linux", [(1, 2), (3, 0), (5, 1)])]
    work = Path(tempfile.mkdtemp(prefix="moxsim-cross-"))
    try:
        for writer, reader, purchases in directions:
            wdir, rdir = work / (writer + "-writes"), work / (reader + "-reads")
            wdir.mkdir()
            rdir.mkdir()
            command, on_windows = sides[writer]
            written = run(command, wdir, session(purchases), on_windows)
            if not written or not (wdir / "MOXdata").exists():
                fail("%s wrote no MOXdata (output %r)" % (writer, written))
            if not any(int(n) > 0 for n in written[-1].split()):
                fail("%s bought nothing: stock %r" % (writer, written[-1]))
            shutil.copy2(wdir / "MOXdata", rdir / "MOXdata")
            command, on_windows = sides[reader]
            read = run(command, rdir, "stock\nquit\n", on_windows)
            if read[-1:] != written[-1:]:
                fail("%s wrote stock %r, %s read %r" % (writer, written[-1], reader, read[-1:]))
            print("ok   %s -> %s: stock %s" % (writer, reader, read[-1]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
