#!/usr/bin/env bash
# The long random-event run: EVENTS (default 1,000,000) events through the monkey test, every invariant checked
# after each event, saves and restarts mixed in. Prints how deep the runs went and the time taken.
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-1000000}
build=${BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target moxtests >/dev/null
start=$(date +%s.%N)
MOX_MONKEY_EVENTS=$events "$build/moxtests" --gtest_filter=Monkey.* --gtest_brief=1 | grep -v '^Running main'
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v n="$events" 'BEGIN { printf "monkey: %.1f s, %.0f events/s\n", e - s, n / (e - s) }'
