#!/usr/bin/env bash
# Tests the web build: the core's tests (the rules, the save file, the planner) built with Emscripten and run
# under Node; the replay's signature against the native build's (when a native replay program is given); ESLint
# over the web build's scripts; the page end to end in headless Chromium (tests/web/e2e.js); and its core path in
# Firefox ESR and WebKitGTK (tests/web/engines.js). The driver and ESLint are installed from tests/web's lock file.
#
#   scripts/test-web.sh [--built] [NATIVE_REPLAY]      e.g. build/bench/moxsim-replay
# --built: the site and the tests are already built (scripts/build-web.sh --tests).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--built" ]; then
  shift
else
  scripts/build-web.sh --tests
fi

# Node 18 and later fetch the wasm of a Node program as a URL unless told not to.
node=(node --no-experimental-fetch)
# What needs another program of the build (the command lines run as a user runs them) stays with the native tests.
"${node[@]}" build-web/web/moxwasmtests.js \
  --gtest_filter='-PlanCommandLine.*:Shop.ChoicesOutsideTheListsAreRefused:History.TheScriptDriver*:History.AScrollOfAnySize*:*ThroughTheScriptDriver'

events=20000
web=$("${node[@]}" build-web/web/moxwasmreplay.js "$events" | sed -n 's/.*signature \([0-9a-f]*\).*/\1/p')
if [ -n "${1:-}" ]; then
  native=$("$1" "$events" | sed -n 's/.*signature \([0-9a-f]*\).*/\1/p')
  if [ "$web" != "$native" ]; then
    echo "FAIL: the wasm replay's signature $web differs from the native one's $native" >&2
    exit 1
  fi
  echo "ok   replay of $events events: the same signature $web in wasm and native"
fi

(cd tests/web && npm ci --no-audit --no-fund --silent)
# The page's scripts, the module's runtime, the tests and the benchmarks against the rules of
# tests/web/eslint.config.mjs: a slip fails here with its file and line.
tests/web/node_modules/.bin/eslint --config tests/web/eslint.config.mjs --max-warnings 0 src/desktop/web tests/web bench
echo "ok   ESLint finds nothing in the web build's scripts"
# A link copied by the native program (its moxsim-script beside the replay's folder) opens in the page.
script="" plan=""
if [ -n "${1:-}" ]; then
  script="$(dirname "$(dirname "$1")")/moxsim-script"
  plan="$(dirname "$(dirname "$1")")/moxsim-plan"
fi
node tests/web/e2e.js dist/moxsim-web ${script:+"$script"}
node tests/web/served.js dist/moxsim-web
# The core path in the other engines, the planner's figures against the native moxsim-plan's.
node tests/web/engines.js dist/moxsim-web ${plan:+"$plan"}
