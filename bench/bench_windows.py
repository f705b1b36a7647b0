#!/usr/bin/env python3
"""Start-up and idle CPU of moxsim.exe under Wine beside the floor (a bare Win32 window of the same size), on a
private Xvfb with a warm Wine server.

  start-up  launch to the first presented frame: each program ends right after its first WM_PAINT when
            MOXSIM_BENCH_T0 is set, and the launcher times the whole run; the median of several runs, the two
            programs taking turns. Both pay the same Wine process start and exit, so the ratio compares what each
            does before its first frame.
  idle CPU  CPU time of the running program's threads over a quiet period (the banner timer is stopped).
"""
import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench import cpu_ns, start_xvfb  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
WINE_RUN = str(ROOT / "scripts" / "wine-run.sh")


def start_ms(exe, env, prefix):
    t0 = time.monotonic_ns()
    subprocess.run([WINE_RUN, "--prefix", prefix, exe], env=dict(env, MOXSIM_BENCH_T0=str(t0)),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)
    return (time.monotonic_ns() - t0) / 1e6


def start_ms_interleaved(exes, env, prefix, runs):
    # Alternating the programs run by run: on a shared machine the load changes over seconds, and both see the same.
    times = {exe: [] for exe in exes}
    for _ in range(runs):
        for exe in exes:
            times[exe].append(start_ms(exe, env, prefix))
    return [statistics.median(times[exe]) for exe in exes]


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
    args = ap.parse_args()
    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, MOX_WINESERVER_LINGER="60")
    env.pop("MOXSIM_BENCH_T0", None)
    try:
        # Warm: the server, Wine's helper processes and the page cache, as when a user starts it a second time.
        start_ms_interleaved([args.floor, args.program], env, args.prefix, 2)
        floor, program = start_ms_interleaved([args.floor, args.program], env, args.prefix, args.runs)
        print("start-up to first frame under Wine (median of %d, interleaved, warm server)" % args.runs)
        print("  floor (bare Win32 window)  %7.1f ms" % floor)
        print("  moxsim.exe                 %7.1f ms   %.2fx the floor (goal: within 1.3x)" % (program, program / floor))
        cpu = idle_cpu_percent(args.program, env, args.prefix, 3.0, args.idle)
        print("idle CPU of moxsim.exe over %.0f s: %.2f %% (goal: 0 %%)" % (args.idle, cpu))
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(Path(args.prefix).resolve())),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xvfb.terminate()


if __name__ == "__main__":
    main()
