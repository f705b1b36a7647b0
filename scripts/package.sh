#!/usr/bin/env bash
# Builds the Debian package into dist/: moxsim_<version>_amd64.deb. Uses the test command's build directory and
# configuration, so after scripts/test.sh only the packaging itself runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p dist
(cd "$build" && cpack -G DEB -C RelWithDebInfo >/dev/null)
ls dist/moxsim_*.deb
