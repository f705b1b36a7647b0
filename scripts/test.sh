#!/usr/bin/env bash
# Builds and runs every test: once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows build under Wine; builds and tests the web page; builds and checks
# the Debian package; and fuzzes each input parser briefly.
#
# Two lanes share the machine's cores. The native build comes first; then the other builds (Windows, web,
# sanitizers with the fuzzers) compile at low priority in the background, while the tests run in the foreground in
# the order the builds arrive. The end-to-end runs spend most of their time waiting on a screen, so the compiler
# takes the cores they leave, and the tests keep the priority they need for their timing. At the end a table says
# what took how long.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
logs=build-logs
rm -rf "$logs"
mkdir -p "$logs"
start=$SECONDS
timings=()

# step NAME COMMAND...: runs a foreground step and notes its time.
step() {
  local name=$1 t0=$SECONDS
  shift
  echo "== $name"
  "$@"
  timings+=("$(printf '%-28s %5d s' "$name" $((SECONDS - t0)))")
}

# built NAME COMMAND...: runs a background build step; its output goes to $logs/NAME.log, and $logs/NAME.done
# holds its exit status and time once it ends.
built() {
  local name=$1 t0=$SECONDS status=0
  shift
  "$@" >"$logs/$name.log" 2>&1 || status=$?
  echo "$status $((SECONDS - t0))" >"$logs/$name.done"
  return "$status"
}

# await NAME: waits for a background build; on failure prints its log and stops.
await() {
  local name=$1 t0=$SECONDS
  while [ ! -f "$logs/$name.done" ]; do
    if ! kill -0 "$background" 2>/dev/null && [ ! -f "$logs/$name.done" ]; then
      echo "FAIL: the background builds stopped before $name" >&2
      cat "$logs"/*.log >&2 || true
      exit 1
    fi
    sleep 1
  done
  local status took
  read -r status took <"$logs/$name.done"
  timings+=("$(printf '%-28s %5d s (waited %d s)' "build $name" "$took" $((SECONDS - t0)))")
  if [ "$status" != 0 ]; then
    echo "FAIL: building $name" >&2
    cat "$logs/$name.log" >&2
    exit 1
  fi
}

# The code's layout is clang-format's (.clang-format): a slip fails here, at once, with the file and line.
format_check() {
  git ls-files -z 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' |
    xargs -0 clang-format --dry-run --Werror
}
step "format" format_check

native_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$jobs"
}
step "build native" native_build

# The background lane, in the order the foreground needs its builds.
(
  set -e
  renice -n 15 -p "$BASHPID" >/dev/null
  built windows sh -c 'cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build-win -j'"$jobs"
  # The Wine prefix is made once (about 10 s) while the native tests run.
  built wine-prefix scripts/wine-prefix.sh build-win/wine
  built web scripts/build-web.sh --tests
  # Built with clang, the sanitised build carries the fuzzers too; the benchmarks are the native build's.
  built sanitizers sh -c 'CC=clang CXX=clang++ cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DMOX_SANITIZE=ON \
      -DMOX_BENCH=OFF >/dev/null && cmake --build build-san -j'"$jobs"
) &
background=$!
# On the way out (a failure included) the background lane and everything it started stop.
stop_tree() {
  local child
  for child in $(pgrep -P "$1" 2>/dev/null); do stop_tree "$child"; done
  kill "$1" 2>/dev/null || true
}
fuzzer=
trap 'stop_tree "$background"; [ -z "$fuzzer" ] || stop_tree "$fuzzer"; WINEPREFIX=$PWD/build-win/wine wineserver -k 2>/dev/null || true' EXIT

step "native tests" ctest --test-dir build --output-on-failure -j"$jobs"

# The Windows programs, cross-built with mingw-w64 and tested under Wine with one warm server: the same unit
# tests, the front end's tests, the end-to-end session under Xvfb, and save files crossing between the systems.
await windows
await wine-prefix
windows_tests() {
  MOX_WINESERVER_LINGER=600 scripts/wine-run.sh --prefix build-win/wine cmd /c exit 0
  # Now and then a Wine process ends at once with no output at all (seen once in several hundred runs of these
  # programs): a test that fails so runs once more. The same tests run natively and sanitised without a second go.
  ctest --test-dir build-win --output-on-failure -j"$jobs" --repeat until-pass:2
  python3 tests/e2e/cross_save_test.py --linux build/moxsim-script --windows build-win/moxsim-script.exe \
    --prefix build-win/wine
}
step "windows tests (wine)" windows_tests

# The Debian package from the native build: metadata, files, lintian, and the program started from it.
package_tests() {
  scripts/package.sh build >/dev/null
  python3 tests/package_test.py \
    dist/moxsim_"$(sed -n 's/^project(moxsim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"_amd64.deb
}
step "debian package" package_tests

# The web build: the core's tests and the replay under Node (the same signature as the native replay), and the
# page end to end in headless Chromium. The page's tests wait on the browser much of the time, while the
# sanitised build compiles.
await web
step "web tests" scripts/test-web.sh --built build/bench/moxsim-replay

await sanitizers
# A short pass of each fuzzer (bench/fuzz.sh without an argument runs a million executions each), beside the
# sanitised tests: each leaves a core idle much of the time. Its report follows theirs.
fuzz_t0=$SECONDS
env MOX_FUZZ_BUILD=build-san bench/fuzz.sh 10000 >"$logs/fuzzing.log" 2>&1 &
fuzzer=$!
step "sanitizer tests" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --test-dir build-san --output-on-failure -j"$jobs" -LE nosan
fuzz_status=0
wait "$fuzzer" || fuzz_status=$?
fuzzer=
echo "== fuzzing"
cat "$logs/fuzzing.log"
timings+=("$(printf '%-28s %5d s (beside the sanitizer tests)' fuzzing $((SECONDS - fuzz_t0)))")
if [ "$fuzz_status" != 0 ]; then
  echo "FAIL: fuzzing" >&2
  exit 1
fi

wait "$background"
echo
echo "== time taken ($(( (SECONDS - start) / 60 )) min $(( (SECONDS - start) % 60 )) s in all; builds in the background)"
printf '  %s\n' "${timings[@]}"
