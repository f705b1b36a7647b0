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
# A second floor: the program's own script and module, loaded as the page loads them and started with nothing to
# do, then the same one frame. What the page takes beyond it is the program's own start and first frame.
module=build-web/web-module-floor
rm -rf "$module"
mkdir -p "$module"
# The site's names carry a content hash.
cp dist/moxsim-web/moxsim.*.js "$module/moxsim.js"
cp dist/moxsim-web/moxsim.*.wasm "$module/moxsim.wasm"
cat >"$module/index.html" <<'HTML'
<!doctype html><html><head><meta charset="utf-8"><title>module floor</title>
<script>
window.moxGlue = new Promise(function (resolve, reject) {
  var s = document.createElement('script'); s.src = 'moxsim.js'; s.onload = resolve; s.onerror = reject;
  document.head.appendChild(s);
});
window.moxWasm = WebAssembly.compileStreaming(fetch('moxsim.wasm'));
</script></head>
<body><canvas id="floor" width="906" height="682"></canvas><canvas id="unused"></canvas>
<script>
(async function () {
  await window.moxGlue;
  await window.createMoxsim({moxPage: {}, moxCanvases: [document.getElementById('floor'), document.getElementById('unused')],
    instantiateWasm: function (imports, done) {
      window.moxWasm.then(function (m) { return WebAssembly.instantiate(m, imports).then(function (i) { done(i, m); }); });
      return {};
    }});
  requestAnimationFrame(function () {
    const c = document.getElementById('floor'), g = c.getContext('2d');
    g.fillStyle = '#302018'; g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#ffd479'; g.font = '16px sans-serif'; g.fillText('floor', 20, 40);
    performance.mark('floor-first-frame');
  });
})();
</script></body></html>
HTML
(cd tests/web && npm ci --no-audit --no-fund --silent)
node bench/web.js dist/moxsim-web "$floor" "${1:-7}" "$module"
