#!/usr/bin/env python3
"""The desktop program from outside, as a user meets it.

Starts the real moxsim, copied into a fresh directory, on a private Xvfb display; clicks real mouse events at
the layout's coordinates (top up, buy a chip and big crystals through the real drop-down lists, place them from
the bag, enhance, switch to synthesis and back, save); compares screenshots at the key points with the golden
images in golden/; checks that the "MOXdata" file written beside the program holds the expected stock; opens
the planner window, pins its plan, runs a fast auto-run with auto-supply to +5 and exports the record, which must arrive as
"MOXhistory.csv" beside the program; closes the planner with Esc, then the main window with Esc, which must end
the program with exit code 0.

Two big crystals beside a chip +0 make a rate of 100 %, so the enhancement succeeds whatever the draw and
every screenshot is the same on every run. The auto-run's draws are not: its screenshot is compared with the
parts that depend on them (the odds, the run's figures, the record, the luck, the curve's marks) masked.

  desktop_test.py --program build/moxsim        run the test
  desktop_test.py --program build/moxsim --dpi 192 --scale 2 --golden golden-2x --screen 2600x1800
                                                 the same on a desktop set to 200 %
  desktop_test.py ... --dpi 144 --scale 1.25 --screen 1600x900 --open-only
                                                 only where and how large the window opens
  MOX_UPDATE_GOLDEN=1 desktop_test.py ...        write the screenshots as the new golden images
  desktop_test.py --program build/moxsim --no-display
                                                 without any display the program must refuse to start
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
GOLDEN = HERE / "golden"

# Screenshots may differ from the golden ones in this share of their pixels (by more than FUZZ_PERCENT of the
# colour range) before the test fails: room for a rounding change in a library, not for a misplaced control.
PIXEL_SHARE = 0.0001
FUZZ_PERCENT = 10

# Drop-down lists open upwards at the bottom of the window: rows of 16 pixels above the box, one pixel of border.
ROW = 16


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def decode_save(data: bytes) -> str:
    """The save file's record: the bytes at even positions, whose two halves interleave back into the text (an
    odd last byte stays at the end)."""
    kept = data[0::2]
    half = len(kept) // 2
    out = bytearray()
    for i in range(half):
        out += bytes([kept[i], kept[half + i]])
    if len(kept) % 2:
        out.append(kept[-1])
    return out.decode("ascii", "replace")


class Xvfb:
    def __init__(self, screen="1280x1024", dpi=None):
        """A private X server; with `dpi`, its resources say Xft.dpi as a desktop set to that scale does."""
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", screen + "x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.proc.kill()
            fail("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        if dpi:
            subprocess.run(["xrdb", "-nocpp", "-merge"], input="Xft.dpi: %d\n" % dpi, text=True, check=True,
                           env=dict(os.environ, DISPLAY=self.display), timeout=20)

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class Program:
    # Screen pixels per layout pixel: clicks and checks are given in the layout's coordinates.
    scale = 1.0

    def __init__(self, program: Path, display: str, workdir: Path, command=None, env=None, user=None, scale=1.0):
        """Starts a copy of `program` in workdir/app; or, given `command`, that command as it stands (an
        installed program), with `env` added to its environment and as `user` when given. `scale` is the factor
        the program is expected to draw at."""
        self.scale = scale
        self.dir = workdir / "app"
        if command is None:
            self.dir.mkdir()
            self.exe = self.dir / "moxsim"
            shutil.copy2(program, self.exe)
            command = [str(self.exe)]
        base = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_DATA_HOME")}
        base.update(DISPLAY=display, HOME=str(workdir), **(env or {}))
        self.env = base
        self.stderr = open(workdir / "stderr.txt", "w+")
        if user:
            command = ["setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--"] + command
        # Started from elsewhere: the program must still write beside itself.
        self.proc = subprocess.Popen(command, cwd=str(workdir), env=base, stdout=subprocess.DEVNULL,
                                     stderr=self.stderr)
        self.pointer = None  # where this session last put the pointer
        self.window = self._find_window()
        geometry = self.xdotool("getwindowgeometry", "--shell", self.window)
        values = dict(line.split("=", 1) for line in geometry.split())
        self.left, self.top = int(values["X"]), int(values["Y"])
        self.width, self.height = int(values["WIDTH"]), int(values["HEIGHT"])

    def xdotool(self, *args):
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True, timeout=20)
        if r.returncode != 0:
            fail("xdotool %s: %s" % (" ".join(map(str, args)), r.stderr.strip()))
        return r.stdout

    def _find_window(self):
        # A window titled in Chinese is not found by name: look for the program's own process.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                fail("moxsim ended at start-up with code %d" % self.proc.returncode)
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)], env=self.env,
                               capture_output=True, text=True)
            ids = r.stdout.split()
            if ids:
                time.sleep(0.3)
                return ids[0]
            time.sleep(0.1)
        fail("no window of moxsim appeared")

    def settle(self, seconds=0.25):
        time.sleep(seconds)

    def at(self, v):
        """A layout coordinate on the screen, rounded as the program rounds its edges."""
        return int(math.floor(v * self.scale + 0.5))

    def move_to(self, sx, sy):
        """The pointer to a point of the screen. xdotool's --sync waits for the pointer to move, and where it is
        there already, it waits its whole 15-second timeout: a click again on the same place does not move."""
        if (sx, sy) != self.pointer:
            self.xdotool("mousemove", "--sync", sx, sy)
            self.pointer = (sx, sy)

    def point(self, x, y):
        self.move_to(self.left + self.at(x), self.top + self.at(y))

    def click(self, x, y, wait=0.25):
        self.point(x, y)
        self.xdotool("click", "1")
        self.settle(wait)

    def key(self, name, wait=0.2):
        # A real key press through XTEST; with no window manager the focus follows the pointer, which is over
        # the window.
        self.xdotool("key", name)
        self.settle(wait)

    def rest_pointer(self):
        # Over bare page, so no button shows its hover picture in a screenshot.
        self.point(448, 560)
        self.settle(0.15)

    def screenshot(self, path: Path, window=None):
        subprocess.run(["import", "-window", window or self.window, "png:" + str(path)], env=self.env, check=True,
                       timeout=20)

    def client_rect(self, window):
        """A window's client area on the screen: x, y, width, height."""
        geometry = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        return tuple(int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def windows(self):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)], env=self.env,
                           capture_output=True, text=True)
        return r.stdout.split()

    def other_window(self, timeout=5.0):
        """The program's visible window that is not the main one (the planner), or None."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            others = [w for w in self.windows() if w != self.window]
            if others:
                return others[0]
            time.sleep(0.05)
        return None


def masked(path: Path, masks, out: Path) -> Path:
    """A copy of the picture with the rectangles (x, y, w, h) painted black."""
    draw = []
    for x, y, w, h in masks:
        draw += ["-draw", "rectangle %d,%d %d,%d" % (x, y, x + w - 1, y + h - 1)]
    subprocess.run(["convert", str(path), "-fill", "black", *draw, str(out)], check=True, timeout=20)
    return out


def compare(shot: Path, golden: Path, diff_out: Path, pixel_share=PIXEL_SHARE, masks=()):
    """None when the screenshot matches, else a description of the difference (ImageMagick's compare counts
    the pixels further apart than the fuzz distance). Masked rectangles are left out on both sides."""
    if masks:
        shot = masked(shot, masks, diff_out.with_name(diff_out.stem + "-shot-masked.png"))
        golden = masked(golden, masks, diff_out.with_name(diff_out.stem + "-golden-masked.png"))
    size = lambda path: subprocess.run(["identify", "-format", "%wx%h", str(path)], capture_output=True,
                                       text=True).stdout.strip()
    if size(shot) != size(golden):
        return "size %s, expected %s" % (size(shot), size(golden))
    r = subprocess.run(["compare", "-metric", "AE", "-fuzz", "%d%%" % FUZZ_PERCENT, str(shot), str(golden),
                        str(diff_out)], capture_output=True, text=True)
    try:
        differing = int(float(r.stderr.split()[0]))
    except (IndexError, ValueError):
        return "compare failed: " + r.stderr.strip()
    width, height = map(int, size(shot).split("x"))
    share = differing / float(width * height)
    if share <= pixel_share:
        return None
    return "%d pixels differ (%.4f %%); differences marked in %s" % (differing, share * 100, diff_out)


# At a factor other than 1 a few moments stand for the rest (the screenshots are large): the main window as
# drawn at start, with items placed, after an enhancement, and the planner window after its run.
SCALED_CHECKS = {"01-start", "04-placed", "06-enhanced", "11-planner-after"}


class Checker:
    def __init__(self, program: Program, out: Path, update: bool, golden_dir=GOLDEN, pixel_share=PIXEL_SHARE,
                 only=None):
        """`only`: the names of the moments compared (None: all)."""
        self.program, self.out, self.update = program, out, update
        self.only = only
        self.golden_dir, self.pixel_share = golden_dir, pixel_share
        # check_within's share: the same unless a slower system needs room for a moment caught a step early.
        self.moving_share = pixel_share
        self.failures = []

    def check(self, name: str, window=None, masks=()):
        if self.only is not None and name not in self.only:
            return
        shot = self.out / (name + ".png")
        masks = [(self.program.at(x), self.program.at(y), self.program.at(x + w) - self.program.at(x),
                  self.program.at(y + h) - self.program.at(y)) for x, y, w, h in masks]
        if window:
            self.program.screenshot(shot, window)
        else:
            self.program.screenshot(shot)
        golden = self.golden_dir / (name + ".png")
        if self.update:
            self.golden_dir.mkdir(exist_ok=True)
            shutil.copy2(shot, golden)
            print("updated " + str(golden))
            return
        if not golden.exists():
            self.failures.append("%s: no golden image %s (run with MOX_UPDATE_GOLDEN=1)" % (name, golden))
            return
        problem = compare(shot, golden, self.out / (name + "-diff.png"), self.pixel_share, masks)
        if problem:
            self.failures.append("%s: %s (screenshot %s)" % (name, problem, shot))
        else:
            print("ok   " + name)

    def check_within(self, name: str, seconds: float):
        """For a moment that lasts a while but starts at a time the test cannot know to the millisecond (the
        banner resting in place): passes when any screenshot in the period matches."""
        if self.only is not None and name not in self.only:
            time.sleep(seconds)
            return
        if self.update:
            time.sleep(seconds / 2)
            self.check(name)
            return
        golden = self.golden_dir / (name + ".png")
        # Screenshots first, as many as the period allows, and comparisons afterwards: a comparison takes longer
        # than a screenshot, and on a busy machine comparing in the loop could step over the whole moment.
        shots = []
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            shot = self.out / ("%s-%02d.png" % (name, len(shots)))
            self.program.screenshot(shot)
            shots.append(shot)
        problem = "no screenshot taken"
        for shot in shots:
            problem = (compare(shot, golden, self.out / (name + "-diff.png"), self.moving_share)
                       if golden.exists() else "no golden")
            if problem is None:
                print("ok   " + name)
                return
        self.failures.append("%s: %s" % (name, problem))


def select_from_list(p: Program, box_x, box_y, box_h, item, count):
    """Opens a drop-down with a click and picks an item with another, in its list opened above the box."""
    p.click(box_x + 20, box_y + box_h // 2)
    top = box_y - (count * ROW + 2)
    p.click(box_x + 20, top + 1 + item * ROW + ROW // 2)


def play_scenario(p, c, before_exit=None):
    """The user's session, the same on every system: top up, buy through the lists, place, enhance at 100 %,
    switch benches and back (which saves), hover; then the save file beside the program, `before_exit(p, c)`
    when given, and Esc. `p` clicks and photographs the program, `c` checks the screenshots; problems are
    collected in c.failures."""
    p.rest_pointer()
    c.check("01-start")

    # Top up 100 yuan: the amount chosen in the open list, the list seen open first.
    p.click(500, 659)
    p.rest_pointer()
    c.check("02-list-open")
    p.click(500, 649 - (5 * ROW + 2) + 1 + 2 * ROW + ROW // 2)
    p.click(578, 660)
    # A chip +0 (the list's first item) for 10 Q币.
    p.click(874, 660)
    # Five big crystals: goods by mouse, quantity by keyboard in the open list.
    select_from_list(p, 646, 649, 20, 2, 6)
    p.click(810, 659)
    p.key("Down")
    p.key("Return")
    p.click(874, 660)
    p.rest_pointer()
    c.check("03-bought")

    # The chip from the first cell, then two crystals, which have moved up into the first cell.
    for _ in range(3):
        p.click(517, 146)
    p.rest_pointer()
    c.check("04-placed")

    # Enhance at 100 %: the success banner slides in (0.3 s) and rests (1 s), then the banner window hides again.
    # The screenshots go on for twice the rest: on a busy machine the slide may start late.
    p.click(175, 468, wait=0)
    p.rest_pointer()
    c.check_within("05-banner", 2.0)
    p.settle(0.6)
    c.check("06-enhanced")

    # The synthesis bench takes the enhancement bench's items back into the bag; and back again.
    p.click(873, 602)
    p.rest_pointer()
    c.check("07-synthesis")
    p.click(816, 602)
    p.click(759, 602, wait=1.8)
    p.rest_pointer()
    c.check("08-saved")

    # The pointer over the enhance button shows its hover picture, and the hand.
    p.point(175, 468)
    p.settle(0.2)
    c.check("09-hover")

    save = p.dir / "MOXdata"
    if not save.exists():
        c.failures.append("no MOXdata beside the program in %s" % p.dir)
    else:
        record = decode_save(save.read_bytes())
        expected = "0|0|3|0|0|0|1|0|0|0|0|0|0|0|0|"
        if record != expected:
            c.failures.append("MOXdata holds %r, expected %r" % (record, expected))
        else:
            print("ok   MOXdata " + record)

    if before_exit:
        before_exit(p, c)
    p.key("Escape", wait=0)
    try:
        code = p.proc.wait(10)
    except subprocess.TimeoutExpired:
        c.failures.append("Esc did not close the program")
        code = None
    if code not in (None, 0):
        c.failures.append("exit code %s after Esc, expected 0" % code)


# The planner window's controls, in its client coordinates (group box origin plus the control's place in it).
PLANNER_SIZE = (900, 760)
FAST = (456 + 10 + 6, 300 + 58 + 10)
SUPPLY = (456 + 74 + 6, 300 + 58 + 10)
AUTORUN = (456 + 10 + 44, 300 + 22 + 16)
RECORD = 410  # the record's group box
EXPORT = (456 + 8 + 44, RECORD + 188 + 16)
PIN = (8 + 8 + 36, 546 + 18 + 10)  # 加入对比
# What depends on the auto-run's draws or on the clock: the odds of the bench left behind, the run's status and
# money, the record, the luck, the chart (its spent mark) and the export's message (it names a temporary folder).
PLANNER_MASKS = [(10, 20, 432, 84), (456 + 106, 300 + 18, 328, 44), (456 + 8, RECORD + 18, 420, 164),
                 (456 + 10, 640 + 16, 432, 44), (8, 288, 436, 256), (456 + 100, RECORD + 186, 330, 36),
                 (456, RECORD, 436, 18)]


def planner_run(p: Program, c: Checker):
    """The planner window: opened from the main window, its plan pinned, a fast auto-run with auto-supply from +1
    to +5 (the default target), the record exported beside the program, closed with Esc."""
    # The chip +1 and the three big crystals left in the bag go on the bench.
    for _ in range(4):
        p.click(517, 146)
    p.click(702, 602, wait=0)
    planner = p.other_window()
    if not planner:
        c.failures.append("the planner button opened no window")
        return
    p.settle(1.0)  # the plan is figured off the interface thread
    left, top, width, height = p.client_rect(planner)
    expected = tuple(p.at(v) for v in PLANNER_SIZE)
    if (width, height) != expected:
        c.failures.append("planner window %dx%d, expected %dx%d" % (width, height, *expected))

    def click(x, y, wait=0.3):
        p.move_to(left + p.at(x), top + p.at(y))
        p.xdotool("click", "1")
        p.settle(wait)

    def rest():
        p.move_to(left + p.at(448), top + p.at(636))
        p.settle(0.2)

    rest()
    # The record's single row names the time of the first enhancement: masked.
    c.check("10-planner", planner, masks=[(456 + 8, RECORD + 18, 420, 164)])
    # The plan before the run is pinned: its row stays in the table after the run, its curve under the new plan's.
    click(*PIN)
    click(*FAST)
    click(*SUPPLY)
    click(*AUTORUN, wait=3.0)
    click(*EXPORT, wait=1.0)
    rest()
    c.check("11-planner-after", planner, masks=PLANNER_MASKS)

    history = p.dir / "MOXhistory.csv"
    if not history.exists():
        c.failures.append("no MOXhistory.csv beside the program in %s" % p.dir)
    else:
        data = history.read_bytes()
        lines = data.decode("utf-8-sig").split("\r\n")
        rows = [line.split(",") for line in lines[1:] if line]
        problems = []
        if not data.startswith(b"\xef\xbb\xbf"):
            problems.append("no byte-order mark")
        if lines[0] != "时间,操作,之前等级,之后等级,显示成功率,实际成功率,使用物品,花费(Q币),结果":
            problems.append("header %r" % lines[0])
        if any(len(r) != 9 for r in rows):
            problems.append("a row without nine fields")
        if len(rows) < 5 or rows[0][1:4] != ["强化", "+0", "+1"]:
            problems.append("%d rows, the first %r" % (len(rows), rows[:1]))
        elif rows[-1][3] != "+5" or rows[-1][8] != "强化成功":
            problems.append("the last row %r does not reach +5" % rows[-1])
        if problems:
            c.failures.append("MOXhistory.csv: " + "; ".join(problems))
        else:
            print("ok   MOXhistory.csv: %d attempts, the last %s" % (len(rows), ",".join(rows[-1][1:4])))

    # Esc closes the planner (nothing runs any more); the main window is left.
    p.key("Escape", wait=0.5)
    if p.other_window(timeout=0.5):
        c.failures.append("Esc did not close the planner window")
    p.rest_pointer()


def run(args):
    update = os.environ.get("MOX_UPDATE_GOLDEN") == "1"
    work = Path(tempfile.mkdtemp(prefix="moxsim-e2e-"))
    out = Path(args.out) if args.out else work / "shots"
    out.mkdir(parents=True, exist_ok=True)
    xvfb = Xvfb(args.screen, args.dpi)
    p = None
    try:
        p = Program(Path(args.program).resolve(), xvfb.display, work, scale=args.scale)
        expected = (p.at(906), p.at(682))
        if (p.width, p.height) != expected:
            fail("client area %dx%d, expected %dx%d" % (p.width, p.height, *expected))
        screen = tuple(map(int, args.screen.split("x")))
        if p.left < 0 or p.top < 0 or p.left + p.width > screen[0] or p.top + p.height > screen[1]:
            fail("the window at %d,%d %dx%d is not wholly on the %dx%d screen" % (p.left, p.top, p.width, p.height,
                                                                                 *screen))
        if args.open_only:
            print("ok   opened at %gx, %dx%d at %d,%d" % (p.scale, p.width, p.height, p.left, p.top))
            return
        only = None if p.scale == 1 else (SCALED_CHECKS if args.golden != "none" else set())
        c = Checker(p, out, update, HERE / args.golden, only=only)
        play_scenario(p, c, before_exit=planner_run)
        if c.failures:
            p.stderr.seek(0)
            print("program's stderr:\n" + p.stderr.read(), file=sys.stderr)
            fail("\n  ".join(["%d problem(s):" % len(c.failures)] + c.failures))
        print("screenshots in " + str(out))
    finally:
        if p and p.proc.poll() is None:
            p.proc.kill()
        xvfb.close()
        if not args.out and not update:
            shutil.rmtree(work, ignore_errors=True)


def no_display(args):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    with tempfile.TemporaryDirectory() as d:
        exe = Path(d) / "moxsim"
        shutil.copy2(args.program, exe)
        r = subprocess.run([str(exe)], env=env, capture_output=True, text=True, timeout=30)
    if r.returncode == 0:
        fail("moxsim started without a display (exit code 0)")
    if "needs a graphical display" not in r.stderr:
        fail("no clear message without a display; stderr: %r" % r.stderr)
    print("ok   refused without a display, exit code %d" % r.returncode)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--out", help="keep the screenshots in this directory")
    parser.add_argument("--no-display", action="store_true")
    parser.add_argument("--screen", default="1280x1024", help="the X screen's size")
    parser.add_argument("--dpi", type=int, help="Xft.dpi in the X resources (192 for a factor of 2)")
    parser.add_argument("--scale", type=float, default=1.0, help="the factor the window must open at")
    parser.add_argument("--golden", default="golden",
                        help="the folder of golden images beside this script; none: compare no screenshots")
    parser.add_argument("--open-only", action="store_true", help="check only the window's size and place")
    args = parser.parse_args()
    if args.no_display:
        no_display(args)
    else:
        run(args)


if __name__ == "__main__":
    main()
