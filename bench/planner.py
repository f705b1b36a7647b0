#!/usr/bin/env python3
"""The planner window in the desktop program, on a private Xvfb: how fast it opens, how many attempts a second a
fast auto-run makes (buying every crystal as it goes) while the window keeps presenting frames, and the CPU the
program takes once the run has stopped.

  bench/planner.py --program build/moxsim [--seconds 3]
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
from bench import cpu_ns, start_xvfb  # noqa: E402

ROW = 16


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--seconds", type=float, default=3.0)
    args = ap.parse_args()
    xvfb, display = start_xvfb()
    work = Path(tempfile.mkdtemp(prefix="moxsim-planner-bench-"))
    exe = work / "moxsim"
    shutil.copy2(args.program, exe)
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_DATA_HOME")}
    env.update(DISPLAY=display, HOME=str(work), MOXSIM_BENCH_PLANNER="1")
    proc = subprocess.Popen([str(exe)], env=env, cwd=str(work), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)

    def xdo(*a):
        return subprocess.run(["xdotool", *map(str, a)], env=env, capture_output=True, text=True).stdout

    def windows():
        return xdo("search", "--onlyvisible", "--pid", proc.pid).split()

    try:
        deadline = time.monotonic() + 20
        while not windows() and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.5)
        main_window = windows()[0]
        g = dict(l.split("=", 1) for l in xdo("getwindowgeometry", "--shell", main_window).split())
        mx, my = int(g["X"]), int(g["Y"])

        def click(ox, oy, x, y, wait=0.2):
            xdo("mousemove", "--sync", ox + x, oy + y)
            xdo("click", "1")
            time.sleep(wait)

        # A chip +0 and one small crystal on the bench, bought with a 50元 top-up.
        click(mx, my, 500, 659)
        click(mx, my, 500, 649 - (5 * ROW + 2) + 1 + ROW + ROW // 2)
        click(mx, my, 578, 660)
        click(mx, my, 874, 660)
        click(mx, my, 666, 659)
        click(mx, my, 666, 649 - (6 * ROW + 2) + 1 + ROW + ROW // 2)
        click(mx, my, 874, 660)
        click(mx, my, 517, 146)
        click(mx, my, 517, 146)
        click(mx, my, 702, 602, wait=1.0)
        planner = [w for w in windows() if w != main_window][0]
        g = dict(l.split("=", 1) for l in xdo("getwindowgeometry", "--shell", planner).split())
        px, py = int(g["X"]), int(g["Y"])
        click(px, py, 456 + 15, 300 + 68)                   # 快速
        click(px, py, 456 + 79, 300 + 68)                   # 自动补给
        click(px, py, 8 + 284 + 20, 110 + 22 + 10)          # 目标等级: from +5 down to +9 by keyboard
        for _ in range(4):
            xdo("key", "Down")
        xdo("key", "Return")
        click(px, py, 456 + 54, 300 + 38, wait=0)           # 自动强化
        time.sleep(args.seconds)
        click(px, py, 456 + 60, 300 + 40, wait=0)           # 停止 (elsewhere on the button: xdotool waits for a move)
        time.sleep(0.5)
        click(px, py, 456 + 52, 410 + 204, wait=1.0)         # 导出记录
        lines = (work / "MOXhistory.csv").read_text(encoding="utf-8-sig").splitlines()
        attempts = len(lines) - 1
        time.sleep(1.0)
        c0, w0 = cpu_ns(proc.pid), time.monotonic_ns()
        time.sleep(3.0)
        idle = 100.0 * (cpu_ns(proc.pid) - c0) / (time.monotonic_ns() - w0)
        xdo("mousemove", "--sync", px + 448, py + 630)
        xdo("key", "Escape")
        time.sleep(0.3)
        xdo("mousemove", "--sync", mx + 448, my + 560)
        xdo("key", "Escape")
        out = proc.communicate(timeout=10)[0]
    finally:
        if proc.poll() is None:
            proc.kill()
        xvfb.terminate()
        shutil.rmtree(work, ignore_errors=True)
    values = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    opened = float(values.get("planner-open-ms", "nan"))
    frames = int(values.get("planner-frames", "0"))
    # The program's own account of the run: when it started and stopped, and the attempts recorded by then.
    start_s, start_n = values["autorun-start"].split()
    stop_s, stop_n = values["autorun-stop"].split()
    elapsed = float(stop_s) - float(start_s)
    rate = (int(stop_n) - int(start_n)) / elapsed
    if attempts != min(int(stop_n), 100000):
        print("the export holds %d attempts, the program counted %s" % (attempts, stop_n))
        return 1
    print("planner open    %7.1f ms        (goal: under 50 ms)  %s" % (opened, "ok" if opened < 50 else "OVER"))
    print("fast auto-run   %7.0f attempts/s (goal: 10000)        %s" % (rate, "ok" if rate >= 10000 else "UNDER"))
    print("planner frames  %7d in all      (%.0f a second while running, at most)" % (frames, frames / elapsed))
    print("idle CPU after  %7.2f %%         (goal: below 0.5 %%)  %s" % (idle, "ok" if idle < 0.5 else "OVER"))
    return 0 if opened < 50 and rate >= 10000 and idle < 0.5 else 1


if __name__ == "__main__":
    sys.exit(main())
