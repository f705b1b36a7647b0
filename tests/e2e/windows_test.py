#!/usr/bin/env python3
"""The Windows program from outside, under Wine, as a user meets it, on screens of three densities.

The same session as desktop_test.py (top up, buy through the lists, place, enhance at 100 %, switch benches,
save; the planner window opened, a fast auto-run, the record exported, Esc; Esc) with real clicks on moxsim.exe, copied into a fresh folder and run by Wine in a copy of a prepared
prefix, in a Chinese locale, on a private Xvfb display with a compositor (xcompmgr) so the layered banner
window shows its per-pixel alpha. Screenshots of the client area (the banner window included, as the screen
shows it) are compared with golden images taken under Wine, and kept with --out for review; MOXdata beside
the program must hold the expected stock, and Esc must end the program with exit code 0.

The session runs once at each density of the prefix (its LogPixels): 96 (the program at its layout's size),
192 (twice the size, every click at doubled coordinates, a few moments compared with golden images of their
own) and 144 (1.5 times, the session's clicks and files checked), all on one large screen and in one prefix.
Then on a 1600 x 900 screen at 144 the window must open at the largest factor that fits it, 1.25, wholly on the
screen.

  windows_test.py --program build-win/moxsim.exe [--prefix build-win/wine] [--out DIR] [--runs 1,2,1.5,fit]
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
# The sessions: the prefix's density, the factor the program must choose, the golden images, and which
# screenshots are compared (None: all). At 1.5 the session's clicks must land, nothing is compared.
RUNS = {
    "1": (96, 1.0, GOLDEN, None),
    "2": (192, 2.0, HERE / "golden-win-2x", desktop_test.SCALED_CHECKS),
    "1.5": (144, 1.5, GOLDEN, set()),
}
# Large enough for the window at twice its size; the fitting check's screen is a laptop's.
LARGE_SCREEN, SMALL_SCREEN = "2600x1800", "1600x900"
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

    def __init__(self, program: Path, display: str, workdir: Path, prefix: Path, scale=1.0):
        self.scale = scale
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
        self.pointer = None
        self.window = self._find_window()
        geometry = self.xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in geometry.split())
        x, y, w, h = (int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        # Wine draws the frame itself (there is no window manager): equal borders left, right and below, the
        # caption above.
        border = (w - self.at(906)) // 2
        self.left, self.top = x + border, y + h - self.at(682) - border
        self.width, self.height = w - 2 * border, h - (self.top - y) - border
        self.border, self.caption = border, self.top - y
        self.outer = (x, y, w, h)

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
        x, y, w, h = self.client_rect(window) if window else (self.left, self.top, self.at(906), self.at(682))
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage",
                        "png:" + str(path)], env=self.env, check=True, timeout=20)


def set_dpi(prefix: Path, dpi: int):
    """The prefix's density, read by the programs started after it (the server restarted)."""
    env = dict(os.environ, MOX_WINESERVER_LINGER="0")
    env.pop("DISPLAY", None)
    for key in (r"HKCU\Control Panel\Desktop", r"HKCU\Software\Wine\Fonts"):
        subprocess.run([str(WINE_RUN), "--prefix", str(prefix), "reg", "add", key, "/v", "LogPixels", "/t",
                        "REG_DWORD", "/d", str(dpi), "/f"], env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    wineserver(prefix, "-w")


def wineserver(prefix: Path, *args):
    subprocess.run(["wineserver", *args], env=dict(os.environ, WINEPREFIX=str(prefix)), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def session(program: Path, display: str, work: Path, prefix: Path, factor: float, golden: Path, only, out: Path,
            update: bool):
    """The user's session at one factor; returns its problems."""
    work.mkdir()
    p = WineProgram(program, display, work, prefix, factor)
    try:
        expected = (p.at(906), p.at(682))
        if (p.width, p.height) != expected:
            return ["client area %dx%d at %s, expected %dx%d" % (p.width, p.height, factor, *expected)]
        c = Checker(p, out, update, golden, PIXEL_SHARE, only)
        c.moving_share = MOVING_SHARE
        play_scenario(p, c, before_exit=planner_run)
        if c.failures:
            p.stderr.seek(0)
            c.failures.append("program's stderr:\n" + p.stderr.read())
        return c.failures
    finally:
        if p.proc.poll() is None:
            p.proc.kill()
        wineserver(prefix, "-k")


def fits_small_screen(program: Path, work: Path, prefix: Path):
    """On a 1600 x 900 screen at 144 dpi (1.5) the window opens at 1.25, wholly on the screen."""
    xvfb = Xvfb(SMALL_SCREEN)
    work.mkdir()
    p = None
    try:
        p = WineProgram(program, xvfb.display, work, prefix, 1.25)
        x, y, w, h = p.outer
        screen = tuple(map(int, SMALL_SCREEN.split("x")))
        problems = []
        if (p.width, p.height) != (p.at(906), p.at(682)):
            problems.append("client area %dx%d on a %s screen at 144 dpi, expected 1.25 times 906x682"
                            % (p.width, p.height, SMALL_SCREEN))
        if x < 0 or y < 0 or x + w > screen[0] or y + h > screen[1]:
            problems.append("window %dx%d+%d+%d not wholly on the %s screen" % (w, h, x, y, SMALL_SCREEN))
        if not problems:
            print("ok   at 144 dpi on %s: factor 1.25, window %dx%d+%d+%d" % (SMALL_SCREEN, w, h, x, y))
        p.key("Escape", wait=0)
        p.proc.wait(10)
        return problems
    finally:
        if p and p.proc.poll() is None:
            p.proc.kill()
        wineserver(prefix, "-k")
        xvfb.close()


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
    program = Path(args.program).resolve()
    runs = args.runs.split(",")
    failures = []
    xvfb = Xvfb(LARGE_SCREEN)
    compositor = subprocess.Popen(["xcompmgr"], env=dict(os.environ, DISPLAY=xvfb.display),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for name in runs:
            if name == "fit":
                continue
            dpi, factor, golden, only = RUNS[name]
            print("-- %d dpi: %sx" % (dpi, name))
            set_dpi(prefix, dpi)
            shots = out / ("%sx" % name) if len(runs) > 1 else out
            shots.mkdir(parents=True, exist_ok=True)
            failures += ["%sx: %s" % (name, f) for f in
                         session(program, xvfb.display, work / ("run-" + name), prefix, factor, golden, only, shots,
                                 update)]
        if "fit" in runs:
            set_dpi(prefix, 144)
            failures += fits_small_screen(program, work / "run-fit", prefix)
        if failures:
            fail("\n  ".join(["%d problem(s):" % len(failures)] + failures))
        print("screenshots in " + str(out))
    finally:
        wineserver(prefix, "-k")
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
    parser.add_argument("--runs", default="1,2,1.5,fit", help="the factors to run the session at, and fit")
    run(parser.parse_args())


if __name__ == "__main__":
    main()
