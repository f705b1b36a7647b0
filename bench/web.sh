#!/usr/bin/env bash
# Benchmarks the web build in headless Chromium (bench/web.js): first frame beside a bare wasm page, the gzip
# download, idle, the longest task while the planner figures (with its Web Worker and without) and a fast
# auto-run's attempts a second.
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
# A second floor: the page itself, loading the program's script and module as it does (after its first paint),
# with the page's own scripts swapped for one that starts the program with nothing to do and draws one frame. What
# the page takes beyond it is its own start (its scripts, the stored stock, the fonts) and the program's first
# frame.
module=build-web/web-module-floor
rm -rf "$module"
cp -r dist/moxsim-web "$module"
site() { (cd dist/moxsim-web && ls $1); }
glue=$(site 'moxsim.*.js') wasm=$(site 'moxsim.*.wasm')
cat >"$module/$(site 'boot.*.js')" <<JS
window.moxAfterPaint = new Promise(function (resolve) {
  requestAnimationFrame(function () { setTimeout(resolve, 0); });
  setTimeout(resolve, 200);
});
function floorScript(src) {
  return new Promise(function (resolve) {
    const s = document.createElement('script'); s.src = src; s.onload = resolve; document.head.appendChild(s);
  });
}
window.moxGlue = window.moxAfterPaint.then(function () { return floorScript('$glue'); });
window.moxWasm = window.moxAfterPaint.then(function () { return WebAssembly.compileStreaming(fetch('$wasm')); });
JS
cat >"$module/$(site 'page.*.js')" <<'JS'
(async function () {
  await window.moxGlue;
  const c = document.getElementById('moxsim-main');
  await window.createMoxsim({moxPage: {}, moxCanvases: [c, document.getElementById('moxsim-planner')],
    instantiateWasm: function (imports, done) {
      window.moxWasm.then(function (m) { return WebAssembly.instantiate(m, imports).then(function (i) { done(i, m); }); });
      return {};
    }});
  requestAnimationFrame(function () {
    c.width = 906; c.height = 682;
    const g = c.getContext('2d');
    g.fillStyle = '#302018'; g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#ffd479'; g.font = '16px sans-serif'; g.fillText('floor', 20, 40);
    performance.mark('floor-first-frame');
  });
})();
JS
(cd tests/web && npm ci --no-audit --no-fund --silent)
node bench/web.js dist/moxsim-web "$floor" "${1:-7}" "$module"
