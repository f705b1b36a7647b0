# Sourced by the page's benchmarks (bench/lighthouse.sh, bench/slow-line.sh) from the top of the checkout: serves
# dist/moxsim-web as scripts/serve-web.sh does (nginx with packaging/web/nginx.conf) on a free port in the
# background, its log in LOG, until the benchmark exits; waits until it answers and leaves its address in $site_url.
#   serve_site LOG
serve_site() {
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  mkdir -p "$(dirname "$1")"
  scripts/serve-web.sh "$port" >"$1" 2>&1 &
  site_server=$!
  trap 'kill "$site_server" 2>/dev/null || true' EXIT
  site_url="http://127.0.0.1:$port/"
  python3 - "$site_url" "$1" <<'PY'
import sys, time, urllib.request
for _ in range(100):
    try:
        urllib.request.urlopen(sys.argv[1], timeout=1)
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit(f"nginx did not answer ({sys.argv[2]})")
PY
}
