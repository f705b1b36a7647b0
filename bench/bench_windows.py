#!/usr/bin/env python3
"""Start-up and idle CPU of moxsim.exe under Wine beside the floor (a bare Win32 window of the same size), on a
private Xvfb with a warm Wine server.

  start-up  launch to the first presented frame, as each program reports it (MOXSIM_BENCH_T0 holds the launch
            time on the wall clock; each program ends right after its first WM_PAINT); the median of several runs,
            the two programs taking turns. The whole run, to the process's end, is shown beside it.
            A window stays open through all runs, as the shell's windows do on a real desktop: without one, Wine's
            desktop process ends a moment after each program and the next run pays about 150 ms to start it again.
  idle CPU  CPU time of the running program's threads over a quiet period (the banner timer is stopped).
With --dpi the runs take place in a copy of the prefix set to that density (192: both windows twice the size).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench import cpu_ns, start_xvfb  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
WINE_RUN = str(ROOT / "scripts" / "wine-run.sh")


def start_ms(exe, env, prefix):
    """(launch to first frame, launch to the process's end) in milliseconds."""
    t0 = time.time_ns()
    out = subprocess.run([WINE_RUN, "--prefix", prefix, exe], env=dict(env, MOXSIM_BENCH_T0=str(t0)),
                         capture_output=True, text=True, timeout=60, check=True).stdout
    whole = (time.time_ns() - t0) / 1e6
    frames = [float(line.split()[1]) for line in out.splitlines() if line.startswith("first-frame-ms ")]
    if not frames:
        sys.exit("%s reported no first frame" % exe)
    return frames[0], whole


def start_ms_interleaved(exes, env, prefix, runs):
    # Alternating the programs run by run: on a shared machine the load changes over seconds, and both see the same.
    times = {exe: [] for exe in exes}
    for _ in range(runs):
        for exe in exes:
            times[exe].append(start_ms(exe, env, prefix))
    return [(statistics.median(t[0] for t in times[exe]), statistics.median(t[1] for t in times[exe]))
            for exe in exes]


def idle_cpu_percent(exe, env, prefix, settle, idle):
    proc = subprocess.Popen([WINE_RUN, "--prefix", prefix, exe], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(settle)
        # wine-run.sh and Wine's loader exec into the program: the launched process is the Windows process.
        before = cpu_ns(proc.pid)
        time.sleep(idle)
        return (cpu_ns(proc.pid) - before) / (idle * 1e9) * 100
    finally:
        proc.kill()
        proc.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--floor", required=True)
    ap.add_argument("--prefix", default=str(ROOT / "build-win" / "wine"))
    ap.add_argument("--runs", type=int, default=9)
    ap.add_argument("--idle", type=float, default=5.0)
    ap.add_argument("--dpi", type=int, default=96, help="the prefix's density (LogPixels) for the runs")
    args = ap.parse_args()
    if not (Path(args.prefix) / ".moxsim-ready").exists():
        # The test command makes the prefix; a clone that has only built the programs makes it here (about 10 s).
        subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh"), args.prefix], check=True)
    copy = None
    if args.dpi != 96:
        copy = tempfile.mkdtemp(prefix="moxsim-bench-wine-")
        subprocess.run(["cp", "-a", str(Path(args.prefix).resolve()), copy + "/wine"], check=True)
        args.prefix = copy + "/wine"
        for key in (r"HKCU\Control Panel\Desktop", r"HKCU\Software\Wine\Fonts"):
            subprocess.run([WINE_RUN, "--prefix", args.prefix, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD",
                            "/d", str(args.dpi), "/f"], check=True, capture_output=True)
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=args.prefix), capture_output=True)
    xvfb, display = start_xvfb(1)  # large enough for twice the window; Wine takes the density from the prefix
    env = dict(os.environ, DISPLAY=display, MOX_WINESERVER_LINGER="60")
    env.pop("MOXSIM_BENCH_T0", None)
    # The window that keeps Wine's desktop process up: the floor, left running.
    keeper = subprocess.Popen([WINE_RUN, "--prefix", args.prefix, args.floor], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        time.sleep(2.0)
        # Warm: the server, Wine's helper processes and the page cache, as when a user starts it a second time.
        start_ms_interleaved([args.floor, args.program], env, args.prefix, 2)
        floor, program = start_ms_interleaved([args.floor, args.program], env, args.prefix, args.runs)
        print("start-up to first frame under Wine at %d dpi (median of %d, interleaved, warm server)"
              % (args.dpi, args.runs))
        print("  floor (bare Win32 window)  %7.1f ms   (whole run %.1f ms)" % floor)
        print("  moxsim.exe                 %7.1f ms   (whole run %.1f ms)   %.2fx the floor (goal: within 1.3x)"
              % (program[0], program[1], program[0] / floor[0]))
        cpu = idle_cpu_percent(args.program, env, args.prefix, 3.0, args.idle)
        print("idle CPU of moxsim.exe over %.0f s: %.2f %% (goal: 0 %%)" % (args.idle, cpu))
    finally:
        keeper.kill()
        keeper.wait()
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(Path(args.prefix).resolve())),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xvfb.terminate()
        if copy:
            shutil.rmtree(copy, ignore_errors=True)


if __name__ == "__main__":
    main()
