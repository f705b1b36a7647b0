#!/usr/bin/env bash
# The page on a phone's slow line (bench/slow-line.js): the site served as a real host serves it
# (scripts/serve-web.sh: nginx with packaging/web/nginx.conf, the brotli copies), opened cold LOADS times on
# Lighthouse's mobile line, and again LOADS times as a repeat visit with the service worker's copy in place.
# Prints the first frame, the bytes on the wire before it and the line's floor for them, beside their goals.
#   bench/slow-line.sh [LOADS]      default 5
set -euo pipefail
cd "$(dirname "$0")/.."
loads=${1:-5}
[ -f dist/moxsim-web/index.html ] || scripts/build-web.sh >/dev/null
(cd tests/web && npm ci --no-audit --no-fund --silent)
. bench/serve-site.sh
serve_site build-web/slow-line-nginx.log
node bench/slow-line.js "$site_url" "$loads"
