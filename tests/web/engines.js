#!/usr/bin/env node
// The page's core path in the two other engines a visitor may bring: Firefox ESR, driven by puppeteer-core over
// WebDriver BiDi, and WebKitGTK's MiniBrowser under a private Xvfb display, driven by WebKitWebDriver over the
// classic WebDriver protocol (a small client below, on Node's fetch). Each engine sits behind the same few
// calls, and the same path runs in both: the first frame; the planner's figures from its Web Worker against the
// native program's; a top-up, a purchase (through the shop's drop-down list) and an enhancement by clicks; a save,
// a reload with the stock found again, and an export that decodes to the stored stock; no error in the page.
//
//   node tests/web/engines.js [SITE [PLAN]] [--only firefox|webkit]
//       SITE defaults to dist/moxsim-web; PLAN (default build/moxsim-plan), the native program whose figures the
//       planner's must equal; without it they are not compared
'use strict';
const {spawn, execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');
const {serve, decodeSave, freePort, inPage} = require('./driver');

const VIEW = {width: 1400, height: 1000};
const FIREFOX = '/usr/bin/firefox-esr';
const WEBKIT_DRIVER = '/usr/bin/WebKitWebDriver';
// WebKitGTK's own small browser, in its library's folder (webkit2gtk-4.1 on Debian 12).
const LIBRARIES = '/usr/lib/x86_64-linux-gnu';
const MINI_BROWSER = path.join(LIBRARIES, (fs.existsSync(LIBRARIES) ? fs.readdirSync(LIBRARIES) : [])
  .filter((d) => /^webkit2?gtk-[\d.]+$/.test(d) && fs.existsSync(path.join(LIBRARIES, d, 'MiniBrowser'))).sort().pop() ||
  'webkit2gtk-4.1', 'MiniBrowser');

const failures = [];
function check(ok, what) {
  if (ok) console.log('ok   ' + what); else { failures.push(what); console.log('FAIL ' + what); }
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// ---- the engines: goto(url), run(fn, ...args) (a function run in the page, its promise awaited), click(x, y) in
// the viewport's CSS pixels, key(name), errors() (what the page threw), close() ----

async function firefox(work) {
  if (!fs.existsSync(FIREFOX)) throw new Error('no ' + FIREFOX + ': scripts/install-deps.sh installs firefox-esr');
  const browser = await puppeteer.launch({browser: 'firefox', executablePath: FIREFOX, headless: true,
                                          userDataDir: path.join(work, 'firefox')});
  const page = await browser.newPage();
  await page.setViewport(VIEW);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  return {
    name: 'Firefox ESR',
    goto: (url) => page.goto(url),
    run: (fn, ...args) => page.evaluate(fn, ...args),
    click: (x, y) => page.mouse.click(x, y),
    key: (name) => page.keyboard.press(name),
    errors: async () => errors,
    close: () => browser.close(),
  };
}

// A private X server for a browser that needs a display; resolves to it and the way to end it.
function xvfb() {
  return new Promise((resolve, reject) => {
    const x = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1600x1200x24', '-nolisten', 'tcp'],
                    {stdio: ['ignore', 'ignore', 'ignore', 'pipe']});
    let said = '';
    x.stdio[3].on('data', (d) => {
      said += d;
      if (said.endsWith('\n')) resolve({display: ':' + said.trim(), close: () => x.kill()});
    });
    x.on('exit', () => reject(new Error('Xvfb did not start')));
  });
}

// WebDriver's keys by their names in puppeteer.
const WEBDRIVER_KEYS = {ArrowDown: '\uE015', ArrowUp: '\uE013', Enter: '\uE007', Escape: '\uE00C'};

async function webkit(work) {
  for (const f of [WEBKIT_DRIVER, MINI_BROWSER]) {
    if (!fs.existsSync(f)) throw new Error('no ' + f + ': scripts/install-deps.sh installs webkit2gtk-driver');
  }
  const x = await xvfb();
  const port = await freePort();
  const driver = spawn(WEBKIT_DRIVER, ['--port=' + port], {stdio: 'ignore',
    env: {...process.env, DISPLAY: x.display, HOME: work, XDG_CACHE_HOME: path.join(work, 'cache'),
          XDG_DATA_HOME: path.join(work, 'data')}});
  const end = () => {
    driver.kill();
    x.close();
  };
  // Also when the test dies on the way (its output cut off): nothing of it stays running.
  process.on('exit', end);
  const base = 'http://127.0.0.1:' + port;
  // A command; a browser that hangs fails it within a minute, not the whole test command.
  const ask = async (method, at, body) => {
    const res = await fetch(base + at, {method, headers: {'Content-Type': 'application/json'},
                                        body: body === undefined ? undefined : JSON.stringify(body),
                                        signal: AbortSignal.timeout(60000)});
    const out = await res.json();
    if (out.value && out.value.error) throw new Error(at + ': ' + out.value.error + ' ' + out.value.message);
    return out.value;
  };
  let s = '';
  try {
    for (let i = 0; i < 100 && !(await fetch(base + '/status').then(() => true, () => false)); ++i) await sleep(100);
    const session = await ask('POST', '/session', {capabilities: {alwaysMatch: {
      'webkitgtk:browserOptions': {binary: MINI_BROWSER, args: ['--automation']}}}});
    s = '/session/' + session.sessionId;
    await ask('POST', s + '/window/rect', {x: 0, y: 0, width: VIEW.width, height: VIEW.height});
  } catch (err) {
    end();
    throw err;
  }
  const act = (actions) => ask('POST', s + '/actions', {actions: [actions]});
  // A function in the page, its promise awaited; what it throws comes back as an error here.
  const run = async (fn, ...args) => {
    const out = await ask('POST', s + '/execute/async', {args: [args], script:
      'const done = arguments[arguments.length - 1];' +
      'Promise.resolve().then(() => (' + fn.toString() + ').apply(null, arguments[0]))' +
      '.then((v) => done({v: v === undefined ? null : v}), (e) => done({e: String(e && e.stack || e)}));'});
    if (out.e) throw new Error(out.e);
    return out.v;
  };
  // WebDriver classic hears no page's errors: the page keeps them from its load on (an error in its start shows
  // as the page's message, or as a page that never gets ready).
  const listen = () => run(() => {
    window.moxErrors = [];
    window.addEventListener('error', (e) => window.moxErrors.push(e.message));
    window.addEventListener('unhandledrejection', (e) => window.moxErrors.push(String(e.reason)));
  });
  return {
    name: 'WebKitGTK',
    goto: async (url) => { await ask('POST', s + '/url', {url}); await listen(); },
    run,
    click: (px, py) => act({type: 'pointer', id: 'mouse', parameters: {pointerType: 'mouse'}, actions: [
      {type: 'pointerMove', x: Math.round(px), y: Math.round(py), origin: 'viewport'},
      {type: 'pointerDown', button: 0}, {type: 'pointerUp', button: 0}]}),
    key: (name) => act({type: 'key', id: 'keys', actions: [{type: 'keyDown', value: WEBDRIVER_KEYS[name]},
                                                            {type: 'keyUp', value: WEBDRIVER_KEYS[name]}]}),
    errors: () => run(() => window.moxErrors || []),
    close: async () => {
      await ask('DELETE', s).catch(() => {});
      end();
    },
  };
}

// ---- the page's core path, the same in every engine ----

async function waitFor(test, ms) {
  for (const end = Date.now() + ms; Date.now() < end; await sleep(50)) if (await test()) return true;
  return false;
}

// Ready: the first frame drawn and the layer of elements made (or the page's message, which fails).
async function ready(e) {
  await waitFor(() => e.run(() => document.documentElement.dataset.moxsim === 'ready' &&
                                  window.moxsimPage.state().ready || !document.getElementById('message').hidden),
                30000);
  const message = await e.run(() => {
    const m = document.getElementById('message');
    return m.hidden ? '' : m.textContent;
  });
  if (message) throw new Error('the page says: ' + message);
  await frames(e);
}

// Animation frames until the windows have nothing left to draw, `most` pairs at most (30 by default). A click
// needs no more than the first pair: what the checks read is the program's state, not the canvas (WebKitGTK's
// canvas under Xvfb takes a few seconds to draw a window anew).
const frames = (e, most) => e.run(inPage.frames, most || 30);

const caption = (e, name) => e.run((n) => window.moxsimPage.describe(n).caption, name);
async function click(e, name) {
  const d = await e.run((n) => window.moxsimPage.describe(n), name);
  if (!d.middle) throw new Error(name + ' does not show');
  await e.click(d.middle[0], d.middle[1]);
  await frames(e, 1);
}
async function clickElement(e, id) {
  const r = await e.run((i) => {
    const b = document.getElementById(i).getBoundingClientRect();
    return [b.x, b.y, b.width, b.height];
  }, id);
  await e.click(r[0] + r[2] / 2, r[1] + r[3] / 2);
}
// A drop-down list opened by a click, moved `downs` items down with the arrows and chosen with Enter.
async function choose(e, name, downs) {
  await click(e, name);
  for (let i = 0; i < downs; ++i) await e.key('ArrowDown');
  await e.key('Enter');
  await frames(e, 1);
}
const stored = (e) => e.run(inPage.stored);

// The first frame, and the planner on a fresh stock.
async function firstFrameAndPlan(e, url, native) {
  await e.goto(url);
  await ready(e);
  const first = await e.run(() => {
    const c = document.getElementById('moxsim-main');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const colours = new Set();
    for (let i = 0; i < d.length; i += 4 * 97) colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
    return {marked: performance.getEntriesByName('moxsim-first-frame').length, size: c.width + 'x' + c.height,
            colours: colours.size};
  });
  // What the page uses where it is there, and goes without where it is not: said, not checked.
  const lacks = await e.run(() => Object.entries({
    ImageDecoder: typeof ImageDecoder === 'function', 'Web Locks': !!navigator.locks,
    'scheduler.yield': !!(window.scheduler && scheduler.yield), OffscreenCanvas: typeof OffscreenCanvas === 'function',
    createImageBitmap: typeof createImageBitmap === 'function',
    'WebAssembly.compileStreaming': typeof WebAssembly.compileStreaming === 'function',
  }).filter((f) => !f[1]).map((f) => f[0]));
  console.log('     ' + e.name + ' goes without: ' + (lacks.join(', ') || 'nothing the page looks for'));
  check(first.marked === 1 && first.colours > 50, e.name + ': the first frame is drawn (' + first.size + ', ' +
        first.colours + ' colours sampled)');

  // The planner on a fresh stock: a climb to +9 figured in the worker, as the native program figures it.
  await click(e, '规划按钮');
  const figured = () => waitFor(async () => (await caption(e, '计算状态标签')) === '', 30000);
  await figured();
  await choose(e, '目标等级', 4);
  await figured();
  const shown = [await caption(e, '期望花费标签'), await caption(e, '九成花费标签')];
  const where = await e.run(() => window.moxsimPage.state().figuring);
  const expected = native ? ['平均还要花 ' + native.expected_cost.toFixed(1) + ' Q币',
                              '九成玩家 ≤ ' + native.percentiles['90'] + ' Q币'] : [];
  const same = native ? JSON.stringify(shown) === JSON.stringify(expected) : shown[0].startsWith('平均');
  check(where === 'worker' && same,
        e.name + ': the planner\'s worker figures the climb to +9' + (native ? ' as the native program does: ' : ': ') +
        shown.join(', ') + ' (' + where + ')');
  await e.key('Escape');
  await waitFor(() => e.run(() => !window.moxsimPage.state().planner), 3000);
}

// The shop, the bench, the save file: what a player does first, by clicks.
async function shopAndSave(e, url) {
  // A top-up of 100元 and a chip and a small crystal bought (each chosen in its drop-down list), both on the bench,
  // enhance.
  const balance = await caption(e, '标签5');
  await choose(e, '组合框1', 2);
  await click(e, '图形按钮2');
  const toppedUp = await caption(e, '标签5');
  await click(e, '图形按钮3');
  await choose(e, '组合框2', 1);
  await click(e, '图形按钮3');
  const bag = [await caption(e, 'n1'), await caption(e, 'n2')];
  check(balance === '0 Q币' && toppedUp !== balance && bag.join() === '1,1',
        e.name + ': a top-up (' + balance + ' to ' + toppedUp + ') and two purchases by clicks: the bag holds ' + bag);
  await click(e, 'a01');
  await click(e, 'a01');
  const odds = await caption(e, '标签2');
  await click(e, '图形按钮1');
  await waitFor(() => e.run(() => window.moxsimPage.state().timers === 0), 5000);
  await click(e, '保存数据');
  await waitFor(async () => (await stored(e)).length > 0, 5000);
  const record = decodeSave(await stored(e));
  const items = record.split('|').map(Number);
  check(/^[1-9][\d.]*%$/.test(odds) && items[1] === 0 && items[0] + items[6] === 1,
        e.name + ': an enhancement at ' + odds + ' took the crystal, and the save stored ' + record);

  // Reload: the chip is back in the bag. Export: the download decodes to the stored stock.
  await e.goto(url);
  await ready(e);
  const back = await caption(e, 'n1');
  check(back === '1', e.name + ': after a reload the chip is back in the bag (' + back + ')');
  await e.run(() => {
    window.moxExported = null;
    HTMLAnchorElement.prototype.click = function () {
      if (!this.download) return;
      fetch(this.href).then((r) => r.arrayBuffer())
        .then((b) => { window.moxExported = Array.from(new Uint8Array(b)); });
    };
  });
  await clickElement(e, 'export-save');
  await waitFor(() => e.run(() => !!window.moxExported), 5000);
  const exported = decodeSave(await e.run(() => window.moxExported));
  check(exported === record, e.name + ': 导出存档 gives the stored stock: ' + exported);
  const errors = await e.errors();
  check(errors.length === 0, e.name + ': no error in the page ' + errors.join('; '));
}

async function main() {
  const args = process.argv.slice(2);
  const only = args.includes('--only') ? args[args.indexOf('--only') + 1] : '';
  const positional = args.filter((a, i) => !a.startsWith('--') && args[i - 1] !== '--only');
  const site = path.resolve(positional[0] || path.join(__dirname, '..', '..', 'dist', 'moxsim-web'));
  const plan = positional[1] || path.join(__dirname, '..', '..', 'build', 'moxsim-plan');
  const native = fs.existsSync(plan)
    ? JSON.parse(execFileSync(plan, ['climb', '0', '9', '--best', '--json']).toString()) : null;
  if (!native) console.log('     no native ' + plan + ': the planner\'s figures are not compared');
  const server = await serve(site);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-web-engines-'));
  try {
    for (const [name, open] of [['firefox', firefox], ['webkit', webkit]]) {
      if (only && only !== name) continue;
      const started = Date.now();
      let e = null;
      try {
        e = await open(work);
        await firstFrameAndPlan(e, server.url, native);
        await shopAndSave(e, server.url);
      } catch (err) {
        check(false, name + ': ' + (err.stack || err));
      } finally {
        if (e) await e.close();
      }
      console.log('     ' + name + ' took ' + ((Date.now() - started) / 1000).toFixed(1) + ' s');
    }
  } finally {
    server.close();
    fs.rmSync(work, {recursive: true, force: true});
  }
  console.log(failures.length ? failures.length + ' failed' : 'all passed');
  process.exit(failures.length ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(1); });
