#!/usr/bin/env bash
# Builds and runs every test: once in a normal build, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows build under Wine; builds and checks the Debian package; and fuzzes
# each input parser briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The web build: the core's tests and the replay under Node (the same signature as the native replay), and the
# page end to end in headless Chromium.
scripts/test-web.sh build/bench/moxsim-replay

# The Debian package from the same build: metadata, files, lintian, and the program started from it.
scripts/package.sh build >/dev/null
python3 tests/package_test.py dist/moxsim_"$(sed -n 's/^project(moxsim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"_amd64.deb

cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DMOX_SANITIZE=ON >/dev/null
cmake --build build-san -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-san --output-on-failure -j"$jobs" -LE nosan

# The Windows programs, cross-built with mingw-w64 and tested under Wine with one warm server: the same unit
# tests, the front end's tests, the end-to-end session under Xvfb, and save files crossing between the systems.
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$jobs"
trap 'WINEPREFIX=$PWD/build-win/wine wineserver -k 2>/dev/null || true' EXIT
MOX_WINESERVER_LINGER=600 scripts/wine-run.sh --prefix build-win/wine cmd /c exit 0
ctest --test-dir build-win --output-on-failure -j"$jobs"
python3 tests/e2e/cross_save_test.py --linux build/moxsim-script --windows build-win/moxsim-script.exe \
  --prefix build-win/wine

# A short pass of each fuzzer (bench/fuzz.sh without an argument runs a million executions each).
bench/fuzz.sh 10000
