#!/usr/bin/env node
// The page on a phone's slow line (bench/slow-line.sh serves the site with nginx and runs this): Lighthouse's mobile
// line set through the DevTools protocol's own throttling (150 ms round trip, 1.6 Mbit/s down, 750 kbit/s up, a 4x
// slower CPU, 412 x 823 CSS pixels at ratio 1.75 with touch), in Debian's headless Chromium.
//  - first visit: LOADS cold loads, each in a fresh profile (nothing cached, no service worker): the time to the
//    page's 'moxsim-first-frame' mark, the bytes on the wire before it (the responses that finished loading before
//    the mark), the line's floor for those bytes (their time at 1.6 Mbit/s and two round trips) and the first frame
//    beside it; goals 2.5 s, 400 KB and 1.15 times the floor;
//  - repeat visit: one profile that has loaded the page once unthrottled and holds the service worker's copy, then
//    LOADS throttled loads in it: the time to the first frame; goal 1.0 s.
// A benchmark: it prints each figure with its goal and `ok` or `OVER`, and fails only when it cannot measure.
//
//   node bench/slow-line.js URL [LOADS]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('../tests/web/node_modules/puppeteer-core');
const {chromium} = require('../tests/web/driver');

const MARK = 'moxsim-first-frame';
const LINE = {rtt: 0.150, down: 1.6e6, up: 750e3};  // seconds, bits a second
const median = (xs) => xs.slice().sort((a, b) => a - b)[xs.length >> 1];

// A browser of its own on a profile of its own; puppeteer leaves the viewport to the metrics set below.
function launch(profile) {
  return puppeteer.launch({executablePath: chromium(), userDataDir: profile, defaultViewport: null,
                           args: ['--no-sandbox', '--disable-gpu']});
}

// A tab on the slow line: the conditions are the tab's own from then on, through every load in it. Collects each
// response that finishes loading, with the network's clock (seconds), and the document's timing on that clock.
async function slowTab(browser) {
  const page = await browser.newPage();
  const cdp = await page.createCDPSession();
  const tab = {page, finished: [], document: null};
  cdp.on('Network.loadingFinished', (e) => tab.finished.push({at: e.timestamp, bytes: e.encodedDataLength}));
  cdp.on('Network.responseReceived', (e) => {
    if (e.type === 'Document' && e.response.timing) tab.document = e.response.timing;
  });
  await cdp.send('Network.enable');
  await cdp.send('Network.emulateNetworkConditions', {offline: false, latency: LINE.rtt * 1000,
                                                      downloadThroughput: LINE.down / 8,
                                                      uploadThroughput: LINE.up / 8});
  await cdp.send('Emulation.setCPUThrottlingRate', {rate: 4});
  await cdp.send('Emulation.setDeviceMetricsOverride', {width: 412, height: 823, deviceScaleFactor: 1.75,
                                                        mobile: true});
  await cdp.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 5});
  return tab;
}

// Loads the page in the tab and waits for its first frame. Returns the mark's time from the navigation's start
// (ms) and the bytes of the responses finished before it. The page's clock starts at its time origin, the
// network's is the browser's monotonic one: the document's request was sent at `sendStart` on the one and at the
// navigation entry's `requestStart` on the other, which ties the two together.
async function firstFrame(tab, url) {
  tab.finished.length = 0;
  tab.document = null;
  await tab.page.goto(url, {waitUntil: 'domcontentloaded', timeout: 120000});
  await tab.page.waitForFunction((m) => performance.getEntriesByName(m).length > 0, {timeout: 120000}, MARK);
  const {mark, requestStart} = await tab.page.evaluate((m) => ({
    mark: performance.getEntriesByName(m)[0].startTime,
    requestStart: performance.getEntriesByType('navigation')[0].requestStart,
  }), MARK);
  if (!tab.document) return {ms: mark, bytes: NaN};
  const markAt = tab.document.requestTime + (tab.document.sendStart + mark - requestStart) / 1000;
  const early = tab.finished.filter((f) => f.at <= markAt);
  return {ms: mark, bytes: early.reduce((n, f) => n + f.bytes, 0), responses: early.length};
}

// The first visit, LOADS times: a fresh browser and profile each.
async function coldLoads(url, loads, work) {
  const runs = [];
  for (let i = 0; i < loads; ++i) {
    const profile = fs.mkdtempSync(path.join(work, 'cold-'));
    const browser = await launch(profile);
    try {
      runs.push(await firstFrame(await slowTab(browser), url));
    } finally {
      await browser.close();
    }
    const r = runs[runs.length - 1];
    console.log('  cold load ' + (i + 1) + ': first frame ' + (r.ms / 1000).toFixed(2) + ' s, ' +
                (r.bytes / 1000).toFixed(0) + ' KB in ' + r.responses + ' responses before it');
  }
  return runs;
}

// The repeat visit: one load unthrottled in the profile, until the service worker is active and holds the site;
// then LOADS throttled loads in the same profile, each in a new tab as a link opened again.
async function repeatLoads(url, loads, work) {
  const browser = await launch(fs.mkdtempSync(path.join(work, 'repeat-')));
  const times = [];
  try {
    const first = await browser.newPage();
    await first.setViewport({width: 412, height: 823, deviceScaleFactor: 1.75, isMobile: true, hasTouch: true});
    await first.goto(url);
    await first.waitForFunction((m) => performance.getEntriesByName(m).length > 0, {timeout: 60000}, MARK);
    const held = await first.evaluate(async () => {
      const registration = await navigator.serviceWorker.ready;
      const worker = registration.active;
      if (worker.state !== 'activated') {
        await new Promise((resolve) => worker.addEventListener('statechange', () => {
          if (worker.state === 'activated') resolve();
        }));
      }
      const names = (await caches.keys()).filter((k) => k.startsWith('moxsim-'));
      let files = 0;
      for (const name of names) files += (await (await caches.open(name)).keys()).length;
      return {caches: names.length, files};
    });
    await first.close();
    console.log('  the service worker is active, holding ' + held.files + ' files in ' + held.caches + ' cache' +
                (held.caches === 1 ? '' : 's'));
    if (!held.files) throw new Error('the service worker holds no copy of the site');
    for (let i = 0; i < loads; ++i) {
      const tab = await slowTab(browser);
      const r = await firstFrame(tab, url);
      const controlled = await tab.page.evaluate(() => !!navigator.serviceWorker.controller);
      await tab.page.close();
      if (!controlled) throw new Error('a repeat load the service worker did not serve');
      times.push(r.ms);
      console.log('  repeat load ' + (i + 1) + ': first frame ' + (r.ms / 1000).toFixed(2) + ' s, ' +
                  (r.bytes / 1000).toFixed(1) + ' KB from the network before it');
    }
  } finally {
    await browser.close();
  }
  return times;
}

async function main() {
  const url = process.argv[2];
  const loads = Math.max(1, +(process.argv[3] || 5));
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-slow-line-'));
  const report = (line, pass) => console.log(line + (pass ? '  ok' : '  OVER'));
  try {
    console.log('the line: ' + LINE.rtt * 1000 + ' ms round trip, ' + LINE.down / 1e6 + ' Mbit/s down, ' +
                LINE.up / 1e3 + ' kbit/s up, CPU 4x slower, 412 x 823 at 1.75, touch');
    const cold = await coldLoads(url, loads, work);
    const times = cold.map((r) => r.ms / 1000);
    const ms = median(times), bytes = median(cold.map((r) => r.bytes));
    const floor = bytes * 8 / LINE.down + 2 * LINE.rtt;
    const range = ' (' + Math.min(...times).toFixed(2) + '-' + Math.max(...times).toFixed(2) + ' s, median of ' +
                  loads + ')';
    report('first visit   first frame ' + ms.toFixed(2) + ' s' + range + ' (goal 2.5 s)', ms <= 2.5);
    report('              on the wire before it ' + (bytes / 1000).toFixed(0) + ' KB (goal 400 KB)', bytes <= 400e3);
    report('              the line\'s floor for those bytes ' + floor.toFixed(2) + ' s: the first frame at ' +
           (ms / floor).toFixed(2) + ' times it (goal 1.15)', ms / floor <= 1.15);
    const repeat = (await repeatLoads(url, loads, work)).map((t) => t / 1000);
    const again = median(repeat);
    report('repeat visit  first frame ' + again.toFixed(2) + ' s (' + Math.min(...repeat).toFixed(2) + '-' +
           Math.max(...repeat).toFixed(2) + ' s, median of ' + loads + ', the service worker\'s copy) (goal 1.0 s)',
           again <= 1.0);
  } finally {
    fs.rmSync(work, {recursive: true, force: true});
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
