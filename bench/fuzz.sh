#!/usr/bin/env bash
# Fuzzes the program's inputs that anyone can hand it: RUNS executions (default 1,000,000) of each libFuzzer
# target in fuzz/, or of the TARGETs named (save_file, script_lines, plan_arguments), built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/. Starts from the committed seed corpus (a copy:
# the seeds stay as committed) and prints, per target, the executions, executions per second and coverage. A
# finding makes the exit code 1 and leaves the input in build-fuzz/findings/. `--build-only` builds and stops.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
shift || true
build_only=
if [ "$runs" = "--build-only" ]; then build_only=1; fi
targets=("$@")
# MOX_FUZZ_BUILD: a sanitised clang build that carries the fuzzers already (the test command's build-san).
build=${MOX_FUZZ_BUILD:-build-fuzz}
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DMOX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null
[ -z "$build_only" ] || exit 0
mkdir -p "$build/findings"
status=0
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do targets+=("${exe##*/fuzz_}"); done
fi
for target in "${targets[@]}"; do
  exe=$build/fuzz/fuzz_$target
  corpus=$(mktemp -d)
  data=$(mktemp -d -p "$([ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
  cp -r "fuzz/corpus/$target/." "$corpus/"
  options=(-runs="$runs" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" -timeout=10)
  if [ -f "fuzz/$target.dict" ]; then options+=(-dict="fuzz/$target.dict"); fi
  log="$build/fuzz-$target.log"
  if ! MOX_FUZZ_DIR=$data "$exe" "${options[@]}" "$corpus" >"$log" 2>&1; then
    echo "$target: FINDING, see $log and $build/findings/"
    tail -30 "$log"
    status=1
  fi
  rm -rf "$corpus" "$data"
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  echo "$target: ${executed:-?} executions, ${speed:-?} exec/s, coverage ${cov:-?} edges / ${ft:-?} features, corpus ${corp:-?} inputs"
done
exit $status
