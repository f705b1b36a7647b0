#!/usr/bin/env bash
# Serves the web build (dist/moxsim-web, made by scripts/build-web.sh) on http://127.0.0.1:PORT/ (default 8080) as
# a real host does: Debian's nginx with the shipped site configuration (packaging/web/nginx.conf: the precompressed
# copies, caching, security headers), in the foreground, from a prefix of its own under build-web/ (no root needed,
# nothing written outside the checkout). Ctrl+C stops it.
#   scripts/serve-web.sh [PORT] [SITE]
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8080}
site=${2:-dist/moxsim-web}
if [ ! -f "$site/index.html" ]; then
  echo "serve-web.sh: no site in $site (scripts/build-web.sh builds it)" >&2
  exit 1
fi
if ! command -v nginx >/dev/null || [ ! -f /usr/lib/nginx/modules/ngx_http_brotli_static_module.so ]; then
  scripts/install-deps.sh
fi
site=$(realpath "$site")
prefix=$(realpath -m "build-web/nginx-$port")
mkdir -p "$prefix/tmp"
sed -e "s#^\(\s*\)listen 80;#\1listen 127.0.0.1:$port;#" -e '/listen \[::\]:80;/d' \
    -e "s#^\(\s*\)root /var/www/moxsim-web;#\1root $site;#" packaging/web/nginx.conf >"$prefix/site.conf"
{
  echo "load_module /usr/lib/nginx/modules/ngx_http_brotli_static_module.so;"
  # As root, nginx's workers would run as nobody, who may not read the checkout.
  [ "$(id -u)" -ne 0 ] || echo "user root;"
  cat <<EOF
daemon off;
worker_processes 1;
pid $prefix/nginx.pid;
error_log stderr warn;
events { worker_connections 256; }
http {
    include /etc/nginx/mime.types;
    default_type application/octet-stream;
    access_log off;
    sendfile on;
    client_body_temp_path $prefix/tmp/body;
    proxy_temp_path $prefix/tmp/proxy;
    fastcgi_temp_path $prefix/tmp/fastcgi;
    uwsgi_temp_path $prefix/tmp/uwsgi;
    scgi_temp_path $prefix/tmp/scgi;
    include $prefix/site.conf;
}
EOF
} >"$prefix/nginx.conf"
echo "moxsim: http://127.0.0.1:$port/"
exec nginx -p "$prefix" -e stderr -c "$prefix/nginx.conf"
