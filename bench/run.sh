#!/usr/bin/env bash
# Builds moxsim and the floor (a bare SDL2 window) and prints start-up, peak memory and idle CPU side by side,
# measured under Xvfb. Usage: bench/run.sh [build directory, default build] [--scale 2] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# An existing build directory keeps its own configuration (the README's commands use RelWithDebInfo).
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target moxsim moxsim-floor
exec python3 bench/bench.py --program "$build/moxsim" --floor "$build/bench/moxsim-floor" "${@:2}"
