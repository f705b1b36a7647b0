#!/usr/bin/env python3
"""The Windows program from outside, under Wine, as a user meets it.

The same session as desktop_test.py (top up, buy through the lists, place, enhance at 100 %, switch benches,
save; the planner window opened, a fast auto-run, the record exported, Esc; Esc) with real clicks on moxsim.exe, copied into a fresh folder and run by Wine in a copy of a prepared
prefix, in a Chinese locale, on a private Xvfb display with a compositor (xcompmgr) so the layered banner
window shows its per-pixel alpha. Screenshots of the client area (the banner window included, as the screen
shows it) are compared with golden images taken under Wine, and kept with --out for review; MOXdata beside
the program must hold the expected stock, and Esc must end the program with exit code 0.

  windows_test.py --program build-win/moxsim.exe [--prefix build-win/wine] [--out DIR]
  MOX_UPDATE_GOLDEN=1 windows_test.py ...     write the screenshots as the new golden images
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import desktop_test  # noqa: E402
from desktop_test import Checker, Xvfb, fail, planner_run, play_scenario  # noqa: E402

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
GOLDEN = HERE / "golden-win"
WINE_RUN = ROOT / "scripts" / "wine-run.sh"
TITLE = "^MOX"
PLANNER_TITLE = "^强化规划$"
# Wine's text rendering and picture decoding do not change between runs; the same room as the Linux test.
PIXEL_SHARE = desktop_test.PIXEL_SHARE
# The banner slides by elapsed time, and on a busy machine under Wine a screenshot (0.1 to 0.6 s) can catch it a
# few pixels before its resting place: room for that, not for a missing banner (over 8 % of the pixels).
MOVING_SHARE = 0.015


class WineProgram(desktop_test.Program):
    """The Linux test's program driven the same way (pointer, clicks, keys); started, found and photographed the
    Wine way."""

    def __init__(self, program: Path, display: str, workdir: Path, prefix: Path):
        self.dir = workdir / "app"
        self.dir.mkdir()
        self.exe = self.dir / "moxsim.exe"
        shutil.copy2(program, self.exe)
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "WINEPREFIX")}
        env.update(DISPLAY=display, MOX_WINESERVER_LINGER="0")
        self.env = env
        self.prefix = prefix
        self.stderr = open(workdir / "stderr.txt", "w+")
        # Started from elsewhere: the program must still write beside itself.
        self.proc = subprocess.Popen([str(WINE_RUN), "--prefix", str(prefix), str(self.exe)], cwd=str(workdir),
                                     env=env, stdout=subprocess.DEVNULL, stderr=self.stderr)
        self.window = self._find_window()
        geometry = self.xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in geometry.split())
        x, y, w, h = (int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        # Wine draws the frame itself (there is no window manager): equal borders left, right and below, the
        # caption above.
        border = (w - 906) // 2
        self.left, self.top = x + border, y + h - 682 - border
        self.width, self.height = w - 2 * border, h - (self.top - y) - border
        self.border, self.caption = border, self.top - y

    def _find_window(self):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                fail("moxsim.exe ended at start-up with code %d" % self.proc.returncode)
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE], env=self.env,
                               capture_output=True, text=True)
            ids = r.stdout.split()
            if ids:
                time.sleep(0.5)
                return ids[0]
            time.sleep(0.1)
        fail("no window of moxsim.exe appeared")

    def client_rect(self, window):
        """A window's client area on the screen: x, y, width, height (every window has the main one's frame)."""
        geometry = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in geometry.split())
        x, y, w, h = (int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        return x + self.border, y + self.caption, w - 2 * self.border, h - self.caption - self.border

    def other_window(self, timeout=5.0):
        """The planner window when it is on the screen, else None."""
        deadline = time.monotonic() + timeout
        while True:
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", PLANNER_TITLE], env=self.env,
                               capture_output=True, text=True)
            if r.stdout.split():
                return r.stdout.split()[0]
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.05)

    def screenshot(self, path: Path, window=None):
        # The screen as the user sees it: the window's client area, the banner window over the main one.
        x, y, w, h = self.client_rect(window) if window else (self.left, self.top, 906, 682)
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                        "png:" + str(path)], env=self.env, check=True, timeout=20)


def run(args):
    update = os.environ.get("MOX_UPDATE_GOLDEN") == "1"
    work = Path(tempfile.mkdtemp(prefix="moxsim-wine-e2e-"))
    out = Path(args.out) if args.out else work / "shots"
    out.mkdir(parents=True, exist_ok=True)
    # A copy of the prepared prefix: the test changes nothing in the one the build keeps.
    source = Path(args.prefix).resolve()
    if not (source / ".moxsim-ready").exists():
        subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh"), str(source)], check=True)
    prefix = work / "wine"
    subprocess.run(["cp", "-a", str(source), str(prefix)], check=True)
    xvfb = Xvfb()
    compositor = subprocess.Popen(["xcompmgr"], env=dict(os.environ, DISPLAY=xvfb.display),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    p = None
    try:
        p = WineProgram(Path(args.program).resolve(), xvfb.display, work, prefix)
        if (p.width, p.height) != (906, 682):
            fail("client area %dx%d, expected 906x682" % (p.width, p.height))
        c = Checker(p, out, update, GOLDEN, PIXEL_SHARE)
        c.moving_share = MOVING_SHARE
        play_scenario(p, c, before_exit=planner_run)
        if c.failures:
            p.stderr.seek(0)
            print("program's stderr:\n" + p.stderr.read(), file=sys.stderr)
            fail("\n  ".join(["%d problem(s):" % len(c.failures)] + c.failures))
        print("screenshots in " + str(out))
    finally:
        if p and p.proc.poll() is None:
            p.proc.kill()
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(prefix)),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        compositor.terminate()
        xvfb.close()
        if not args.out and not update:
            shutil.rmtree(work, ignore_errors=True)
        else:
            shutil.rmtree(prefix, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--prefix", default=str(ROOT / "build-win" / "wine"), help="a prepared Wine prefix")
    parser.add_argument("--out", help="keep the screenshots in this directory")
    run(parser.parse_args())


if __name__ == "__main__":
    main()
