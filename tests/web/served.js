#!/usr/bin/env node
// The site as a real host serves it: scripts/serve-web.sh (Debian's nginx with packaging/web/nginx.conf). The
// precompressed copies reach the browser and unpack to the very files; the headers say what may be cached and
// what may run; and the page starts, and figures a plan in its Web Worker, under its Content-Security-Policy
// without a violation.
//
//   node tests/web/served.js [SITE]     SITE defaults to dist/moxsim-web
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const {launch, Player, freePort} = require('./driver');

const root = path.join(__dirname, '..', '..');
const failures = [];
function check(ok, what) {
  if (ok) console.log('ok   ' + what); else { failures.push(what); console.log('FAIL ' + what); }
}

function get(url, encoding) {
  return new Promise((resolve, reject) => {
    http.get(url, {headers: {'Accept-Encoding': encoding || 'identity'}}, (res) => {
      const parts = [];
      res.on('data', (d) => parts.push(d));
      res.on('end', () => resolve({status: res.statusCode, headers: res.headers, body: Buffer.concat(parts)}));
    }).on('error', reject);
  });
}

async function main() {
  const site = path.resolve(process.argv[2] || path.join(root, 'dist', 'moxsim-web'));
  const port = await freePort();
  const url = 'http://127.0.0.1:' + port + '/';
  const nginx = spawn(path.join(root, 'scripts', 'serve-web.sh'), [String(port), site], {stdio: ['ignore', 'ignore', 'pipe']});
  let log = '';
  nginx.stderr.on('data', (d) => { log += d; });
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-web-served-'));
  let browser = null;
  try {
    let index = null;
    for (let i = 0; i < 100 && !index; ++i) {
      index = await get(url).catch(() => null);
      if (!index) await new Promise((r) => setTimeout(r, 100));
    }
    if (!index) throw new Error('nginx did not answer: ' + log);
    const h = index.headers;
    check(index.status === 200 && /script-src 'self' 'wasm-unsafe-eval'/.test(h['content-security-policy'] || '') &&
          h['x-content-type-options'] === 'nosniff' && !!h['referrer-policy'] && h['cache-control'] === 'no-cache',
          'index.html comes with its security headers and is not cached');

    const wasmName = fs.readdirSync(site).find((f) => /^moxsim\.[0-9a-f]{10}\.wasm$/.test(f));
    check(!!wasmName && index.body.toString().includes('boot.') && !/<script>/.test(index.body.toString()),
          'the module is named by its content, and the page carries no inline script');
    const module = fs.readFileSync(path.join(site, wasmName));
    const br = await get(url + wasmName, 'br, gzip');
    check(br.headers['content-encoding'] === 'br' && br.headers['content-type'] === 'application/wasm' &&
          zlib.brotliDecompressSync(br.body).equals(module) && br.body.length < module.length / 1.5,
          'the module arrives as its brotli copy (' + br.body.length + ' of ' + module.length +
          ' bytes) and unpacks to the module byte for byte');
    check(/immutable/.test(br.headers['cache-control'] || ''), 'a file named by its content is kept for long');
    const gz = await get(url + wasmName, 'gzip');
    check(gz.headers['content-encoding'] === 'gzip' && zlib.gunzipSync(gz.body).equals(module),
          'a browser without brotli gets the gzip copy');

    browser = await launch(path.join(work, 'profile'));
    const violations = [];
    const p = await Player.open(browser, url, {width: 1400, height: 1000, ratio: 1}, work, (page) => {
      page.on('console', (m) => { if (/Content.Security.Policy/i.test(m.text())) violations.push(m.text()); });
    });
    await p.click('a01');
    await p.frames();
    // The planner's figuring runs in the page's Web Worker under the same policy.
    await p.click('规划按钮');
    await p.waitFor(async () => (await p.caption('计算状态标签')) === '', 20000);
    const figures = await p.caption('期望花费标签');
    check(p.errors.length === 0 && violations.length === 0 && (await p.state('figuring')) === 'worker' &&
          figures.startsWith('平均'),
          'the page starts, answers a click and figures a plan in its worker under its policy (' + figures + ')' +
          (violations.length ? ': ' + violations[0] : '') + (p.errors.length ? ': ' + p.errors[0] : ''));
  } finally {
    if (browser) await browser.close();
    nginx.kill();
    fs.rmSync(work, {recursive: true, force: true});
  }
  if (failures.length) {
    console.log(failures.length + ' failed');
    process.exit(1);
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
