#!/usr/bin/env bash
# Builds moxsim.exe and its floor (a bare Win32 window) for Windows and prints their start-up to the first frame
# and moxsim.exe's idle CPU, measured under Wine on Xvfb, at the layout's size and at twice it (192 dpi).
# Usage: bench/windows.sh [build directory, default build-win]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target moxsim moxsim-win-floor
for dpi in 96 192; do
  python3 bench/bench_windows.py --program "$build/moxsim.exe" --floor "$build/bench/moxsim-win-floor.exe" \
    --prefix "$build/wine" --dpi "$dpi"
done
