// Serving the web build and driving it in Debian's headless Chromium (puppeteer-core over the DevTools
// protocol), as a player uses the page: clicks at a control's place on its canvas, keys, file inputs and
// downloads. Shared by the end-to-end test and the benchmarks.
'use strict';
const fs = require('fs');
const http = require('http');
const net = require('net');
const path = require('path');
const zlib = require('zlib');
const puppeteer = require('puppeteer-core');

const TYPES = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css',
               '.wasm': 'application/wasm', '.txt': 'text/plain; charset=utf-8', '.png': 'image/png',
               '.webmanifest': 'application/manifest+json'};

// A static host for `root` on 127.0.0.1, gzip-compressing what the browser accepts compressed, as hosts do.
// `sent` counts the bytes each path put on the wire. With `cache`, browsers may keep what it sends for an hour.
function serve(root, cache) {
  const sent = {};
  const server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
    const file = path.join(root, rel);
    if (!file.startsWith(root) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404);
      res.end();
      return;
    }
    let body = fs.readFileSync(file);
    const headers = {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
                     'Cache-Control': cache ? 'max-age=3600' : 'no-cache'};
    if (/\bgzip\b/.test(req.headers['accept-encoding'] || '')) {
      body = zlib.gzipSync(body, {level: 9});
      headers['Content-Encoding'] = 'gzip';
    }
    sent['/' + rel] = body.length;
    res.writeHead(200, headers);
    res.end(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    resolve({url: 'http://127.0.0.1:' + server.address().port + '/', sent, close: () => server.close()});
  }));
}

function chromium() {
  for (const p of ['/usr/bin/chromium-headless-shell', '/usr/bin/chromium']) if (fs.existsSync(p)) return p;
  throw new Error('no Chromium: scripts/install-deps.sh installs chromium-headless-shell');
}

function launch(profile) {
  return puppeteer.launch({executablePath: chromium(), userDataDir: profile,
                           args: ['--no-sandbox']});
}

// The save file's record: the bytes at even positions, whose two halves interleave back into the text.
function decodeSave(bytes) {
  const kept = Array.from(bytes || []).filter((b, i) => i % 2 === 0);
  const half = kept.length >> 1;
  let out = '';
  for (let i = 0; i < half; ++i) out += String.fromCharCode(kept[i], kept[half + i]);
  if (kept.length % 2) out += String.fromCharCode(kept[kept.length - 1]);
  return out;
}
// A record stored as any writer of the format stores it, with fixed filler bytes.
function scrambleSave(record) {
  const s = Buffer.from(record, 'latin1');
  const even = s.length - (s.length % 2);
  const out = [];
  for (let i = 0; i < even; i += 2) out.push(s[i], 0x78);
  for (let i = 1; i < even; i += 2) out.push(s[i], 0x78);
  if (s.length % 2) out.push(s[s.length - 1]);
  return Buffer.from(out);
}

function freePort() {
  return new Promise((resolve) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => { const p = s.address().port; s.close(() => resolve(p)); });
  });
}

// Functions run in the page, by this driver and by the other engines' (engines.js).
const inPage = {
  // Two animation frames, and more while the windows have something left to draw, `most` pairs in all.
  frames: (most) => new Promise((r) => {
    let left = most;
    const next = () => requestAnimationFrame(() => requestAnimationFrame(() => {
      if (--left > 0 && window.moxsimPage && window.moxsimPage.state().drawing) next(); else r();
    }));
    next();
  }),
  // A file (the save file unless named) as the browser's storage holds it, as an array of bytes.
  stored: (name = 'MOXdata') => new Promise((resolve) => {
    const open = indexedDB.open('moxsim', 1);
    open.onsuccess = () => {
      const get = open.result.transaction('files').objectStore('files').get(name);
      get.onsuccess = () => { resolve(get.result ? Array.from(get.result) : []); open.result.close(); };
    };
  }),
};

class Player {
  // `watch(page)`, when given, is called and awaited before the page loads (to listen from the first request on).
  static async open(browser, url, view, work, watch) {
    const p = new Player();
    p.browser = browser;
    p.work = work;
    p.page = await browser.newPage();
    p.errors = [];
    p.page.on('pageerror', (e) => p.errors.push(e.message));
    if (watch) await watch(p.page);
    await p.page.setViewport({width: view.width, height: view.height, deviceScaleFactor: view.ratio,
                              hasTouch: !!view.touch, isMobile: !!view.touch});
    await p.page.goto(url);
    await p.ready();
    return p;
  }

  async ready() {
    await this.page.waitForFunction(() => document.documentElement.dataset.moxsim === 'ready' ||
                                          !document.getElementById('message').hidden, {timeout: 20000});
    const message = await this.page.$eval('#message', (m) => (m.hidden ? '' : m.textContent));
    if (message) throw new Error('the page says: ' + message);
    // The layer of elements over the windows follows the first frame, a window at a time.
    await this.page.waitForFunction(() => window.moxsimPage.state().ready, {timeout: 20000});
    await this.frames();
  }

  async reload() {
    await this.page.reload();
    await this.ready();
  }

  sleep(ms) { return new Promise((r) => setTimeout(r, ms)); }
  // Two animation frames, and as many more as the windows take to draw what they have left (a window drawn whole
  // takes several): whatever the last event asked to draw is on the canvas. Not more than a second's worth: a
  // running auto-run or animation has something to draw at every frame.
  frames() { return this.page.evaluate(inPage.frames, 30); }

  async waitFor(test, ms) {
    const end = Date.now() + ms;
    while (Date.now() < end) {
      if (await test()) return true;
      await this.sleep(50);
    }
    return false;
  }

  state(key) { return this.page.evaluate((k) => window.moxsimPage.state()[k], key); }
  describe(name) { return this.page.evaluate((n) => window.moxsimPage.describe(n), name); }
  async caption(name) { return (await this.describe(name)).caption; }

  // The middle of the named control where it shows (the viewport scrolled to it first).
  async middle(name) {
    const d = await this.describe(name);
    if (d.window < 0) throw new Error('no control named ' + name);
    if (!d.middle) throw new Error(name + ' does not show (its part gave way to a panel)');
    if (d.middle[1] < 0 || d.middle[1] > await this.page.evaluate(() => window.innerHeight)) {
      await this.page.evaluate((y) => window.scrollBy(0, y - window.innerHeight / 2), d.middle[1]);
      return (await this.describe(name)).middle;
    }
    return d.middle;
  }

  // Clicks the middle of the named control on its window's canvas.
  async click(name) {
    const at = await this.middle(name);
    await this.page.mouse.click(at[0], at[1]);
    await this.frames();
  }

  // Taps the middle of the named control with a finger.
  async tap(name) {
    const at = await this.middle(name);
    await this.page.touchscreen.tap(at[0], at[1]);
    await this.frames();
  }

  // The pointer off both windows: no hover looks in a screenshot.
  async rest() {
    await this.page.mouse.move(2, 2);
    await this.frames();
  }

  async importFile(file, reloads) {
    const input = await this.page.$('#import-save');
    if (reloads) {
      await Promise.all([this.page.waitForNavigation(), input.uploadFile(file)]);
      await this.ready();
    } else {
      await input.uploadFile(file);
      await this.waitFor(async () => (await this.boxText()) !== '', 3000);
    }
  }

  // What a click (on a selector, or done by `trigger`) downloads as `name`, or null.
  async download(trigger, name) {
    const dir = fs.mkdtempSync(path.join(this.work, 'download-'));
    const session = await this.browser.target().createCDPSession();
    await session.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: dir});
    if (typeof trigger === 'string') await this.page.click(trigger); else await trigger();
    const file = path.join(dir, name);
    await this.waitFor(async () => fs.existsSync(file), 5000);
    await this.sleep(100);
    return fs.existsSync(file) ? fs.readFileSync(file) : null;
  }

  // The save file as the browser's storage holds it.
  async stored(name = 'MOXdata') { return Buffer.from(await this.page.evaluate(inPage.stored, name)); }

  boxText() {
    return this.page.$eval('#box', (b) => (b.hidden ? '' : document.getElementById('box-text').textContent));
  }
  async closeBox() {
    await this.page.click('#box-ok');
    await this.frames();
  }

  // Frames the program drew within `ms` from now.
  async framesWithin(ms) {
    const before = await this.state('frames');
    await this.sleep(ms);
    return (await this.state('frames')) - before;
  }

  async canvasPng(id) {
    const url = await this.page.$eval('#' + id, (c) => c.toDataURL('image/png'));
    return Buffer.from(url.split(',')[1], 'base64');
  }

  // Compares the canvas's pixels with a PNG, masks (layout rectangles) left out.
  compareCanvas(id, png, masks) {
    return this.page.evaluate(async (id, b64, masks) => {
      const c = document.getElementById(id);
      const img = new Image();
      img.src = 'data:image/png;base64,' + b64;
      await img.decode();
      if (img.width !== c.width || img.height !== c.height) {
        return {sameSize: false, size: img.width + 'x' + img.height + ' against ' + c.width + 'x' + c.height};
      }
      const g = document.createElement('canvas');
      g.width = c.width;
      g.height = c.height;
      const gc = g.getContext('2d');
      gc.drawImage(img, 0, 0);
      const a = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
      const b = gc.getImageData(0, 0, c.width, c.height).data;
      const k = c.width / parseFloat(c.dataset.layoutWidth);
      const masked = (x, y) => masks.some((m) => x >= m[0] * k && y >= m[1] * k && x < (m[0] + m[2]) * k &&
                                                 y < (m[1] + m[3]) * k);
      let differing = 0, total = 0;
      for (let y = 0; y < c.height; ++y) {
        for (let x = 0; x < c.width; ++x) {
          if (masked(x, y)) continue;
          ++total;
          const i = (y * c.width + x) * 4;
          if (Math.abs(a[i] - b[i]) > 25 || Math.abs(a[i + 1] - b[i + 1]) > 25 || Math.abs(a[i + 2] - b[i + 2]) > 25) {
            ++differing;
          }
        }
      }
      return {sameSize: true, differing, total};
    }, id, png.toString('base64'), masks);
  }

  // ---- the page as a screen reader finds it: the accessibility tree over the layer of elements ----
  async cdp() {
    if (!this.session) this.session = await this.page.createCDPSession();
    return this.session;
  }

  // The first element of that role and name in the accessibility tree (reading order), as a DOM object id.
  async layerNode(role, name) {
    const cdp = await this.cdp();
    const {root} = await cdp.send('DOM.getDocument', {depth: 0});
    const {nodes} = await cdp.send('Accessibility.queryAXTree', {backendNodeId: root.backendNodeId,
                                                                   accessibleName: name, role});
    const n = nodes.find((x) => !x.ignored && x.backendDOMNodeId);
    if (!n) throw new Error('the accessibility tree has no ' + role + ' named ' + name);
    return (await cdp.send('DOM.resolveNode', {backendNodeId: n.backendDOMNodeId})).object.objectId;
  }

  async hasNode(role, name) {
    try {
      await this.layerNode(role, name);
      return true;
    } catch (e) {
      return false;
    }
  }

  // Activates it as a screen reader does (its click), or chooses an option of a combobox.
  async press(role, name, option) {
    const objectId = await this.layerNode(role, name);
    await (await this.cdp()).send('Runtime.callFunctionOn', {objectId, arguments: [{value: option}],
      functionDeclaration: `function (option) {
        if (option === undefined) { this.click(); return; }
        this.selectedIndex = Array.from(this.options).findIndex((o) => o.text === option);
        this.dispatchEvent(new Event('change', {bubbles: true}));
      }`});
    await this.frames();
  }

  // Every control a click reaches in a window (the keyboard's ring) as the accessibility tree gives it:
  // [{control, role, name, ignored}], from Accessibility.getFullAXTree.
  async axControls(w) {
    const cdp = await this.cdp();
    const controls = await this.page.evaluate((w) => window.moxsimPage.controls(w), w);
    const {root} = await cdp.send('DOM.getDocument', {depth: -1});
    const byId = new Map();
    const walk = (n) => {
      const a = n.attributes || [];
      for (let i = 0; i < a.length; i += 2) if (a[i] === 'id') byId.set(a[i + 1], n.backendNodeId);
      (n.children || []).forEach(walk);
    };
    walk(root);
    const {nodes} = await cdp.send('Accessibility.getFullAXTree');
    const byBackend = new Map(nodes.filter((n) => n.backendDOMNodeId).map((n) => [n.backendDOMNodeId, n]));
    return controls.map((control) => {
      const n = byBackend.get(byId.get('mox-' + w + '-' + control));
      return {control, role: n && n.role ? n.role.value : '', name: n && n.name ? n.name.value : '',
              ignored: !n || n.ignored};
    });
  }

  async close() {
    if (this.errors.length) throw new Error('errors in the page: ' + this.errors.join('; '));
    await this.page.close();
  }
}

module.exports = {serve, launch, Player, decodeSave, scrambleSave, chromium, freePort, inPage};
