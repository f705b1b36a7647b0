#!/usr/bin/env bash
# Serves the web build (dist/moxsim-web, made by scripts/build-web.sh) on http://127.0.0.1:PORT/ (default 8080).
set -euo pipefail
cd "$(dirname "$0")/../dist/moxsim-web"
port="${1:-8080}"
echo "moxsim: http://127.0.0.1:$port/"
exec python3 -m http.server "$port" --bind 127.0.0.1
