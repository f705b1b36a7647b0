#!/usr/bin/env bash
# Benchmarks the web build in headless Chromium (bench/web.js): first frame beside a bare wasm page, the gzip
# download, idle, the planner's longest task and a fast auto-run's attempts a second.
#
#   bench/web.sh [RUNS]      first-frame loads of each page (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh
NODE_PATH="$(dpkg -L node-acorn | sed -n 's#/acorn/package.json$##p')" \
  cmake --build build-web -j2 --target moxsim-web-floor >/dev/null
floor=build-web/web-floor
cat >"$floor/index.html" <<'HTML'
<!doctype html><html><head><meta charset="utf-8"><title>floor</title></head>
<body><canvas id="floor" width="906" height="682"></canvas><script src="floor.js"></script></body></html>
HTML
(cd tests/web && npm ci --no-audit --no-fund --silent)
node bench/web.js dist/moxsim-web "$floor" "${1:-7}"
