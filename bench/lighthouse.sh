#!/usr/bin/env bash
# Lighthouse (12.2.3, pinned: 13 needs a newer Node than these machines have) against the site served as a real
# host serves it (scripts/serve-web.sh: nginx with packaging/web/nginx.conf), RUNS times with each preset (mobile:
# a slow 4G line and a 4x slower CPU, simulated; desktop), in Debian's headless Chromium. Prints the median of the
# four scores, First and Largest Contentful Paint, Speed Index and Total Blocking Time, and keeps each run's report
# in build-web/lighthouse/.
#   bench/lighthouse.sh [RUNS]      default 3
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
[ -f dist/moxsim-web/index.html ] || scripts/build-web.sh >/dev/null
(cd bench/lighthouse && npm ci --no-audit --no-fund --silent)
out=build-web/lighthouse
rm -rf "$out"
mkdir -p "$out"
. bench/serve-site.sh
serve_site "$out/nginx.log"
chrome=$(command -v chromium-headless-shell || command -v chromium)
flags="--headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking --disable-component-update --disable-sync"
for preset in mobile desktop; do
  extra=()
  [ "$preset" = desktop ] && extra=(--preset=desktop)
  for i in $(seq "$runs"); do
    CHROME_PATH=$chrome bench/lighthouse/node_modules/.bin/lighthouse "$site_url" --quiet \
      --chrome-flags="$flags" --output=json --output-path="$out/$preset-$i.json" \
      --only-categories=performance,accessibility,best-practices,seo "${extra[@]}"
  done
done
node - "$out" "$runs" <<'JS'
const fs = require('fs');
const [dir, runs] = process.argv.slice(2);
const median = (xs) => { const s = xs.slice().sort((a, b) => a - b); return s[Math.floor(s.length / 2)]; };
for (const preset of ['mobile', 'desktop']) {
  const reports = [];
  for (let i = 1; i <= +runs; i++) reports.push(JSON.parse(fs.readFileSync(`${dir}/${preset}-${i}.json`, 'utf8')));
  const score = (c) => Math.round(median(reports.map((r) => r.categories[c].score)) * 100);
  const ms = (a) => median(reports.map((r) => r.audits[a].numericValue));
  console.log(`${preset.padEnd(8)} performance ${score('performance')}  accessibility ${score('accessibility')}  ` +
              `best practices ${score('best-practices')}  SEO ${score('seo')}  ` +
              `FCP ${(ms('first-contentful-paint') / 1000).toFixed(1)} s  LCP ${(ms('largest-contentful-paint') / 1000).toFixed(1)} s  ` +
              `Speed Index ${(ms('speed-index') / 1000).toFixed(1)} s  TBT ${Math.round(ms('total-blocking-time'))} ms` +
              `   (median of ${runs})`);
}
JS
