#!/usr/bin/env node
// Where a phone's load goes: the page opened as Lighthouse's mobile preset has it (412 x 823 CSS pixels at ratio
// 1.75, touch, software canvases as in its runs), traced with a CPU profile beside it; prints the page's marks and
// each task on the page's thread of MIN ms or more with the functions that ran in it (inclusive time), and the
// blocking time those tasks would make at a 4x slower CPU as Lighthouse simulates it (each task times 4, less 50 ms).
//
//   node bench/phone-tasks.js SITE [MIN]      MIN defaults to 10; run it under flock /tmp/moxsim-cpu.lock
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('../tests/web/node_modules/puppeteer-core');
const {serve, chromium} = require('../tests/web/driver');
const {CATEGORIES, mainThread, longTasks, listed} = require('./tasks');

(async () => {
  const min = +(process.argv[3] || 10);
  const server = await serve(path.resolve(process.argv[2]), true);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-phone-tasks-'));
  const browser = await puppeteer.launch({executablePath: chromium(), userDataDir: path.join(work, 'profile'),
                                          args: ['--no-sandbox', '--disable-gpu']});
  const page = await browser.newPage();
  const cdp = await page.createCDPSession();
  await page.setViewport({width: 412, height: 823, deviceScaleFactor: 1.75, isMobile: true, hasTouch: true});
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', {interval: 100});
  const trace = path.join(work, 'trace.json');
  await page.tracing.start({path: trace, categories: CATEGORIES});
  await cdp.send('Profiler.start');
  await page.goto(server.url);
  await page.waitForFunction(() => window.moxsimPage && window.moxsimPage.state().ready, {timeout: 60000});
  await new Promise((r) => setTimeout(r, 4000));  // the 2x set and its redraw
  const {profile} = await cdp.send('Profiler.stop');
  await page.tracing.stop();
  await browser.close();
  server.close();

  const events = JSON.parse(fs.readFileSync(trace, 'utf8')).traceEvents;
  fs.rmSync(work, {recursive: true, force: true});
  const main = mainThread(events);
  const first = events.filter((e) => e.name === 'RunTask' && e.ph === 'X' && e.pid + ':' + e.tid === main)
    .sort((a, b) => a.ts - b.ts)[0];
  const start = (events.find((e) => e.name === 'navigationStart' && e.pid + ':' + e.tid === main) || first).ts;
  const at = (ts) => Math.round((ts - start) / 1000);
  console.log('marks: ' + events.filter((e) => /^moxsim-/.test(e.name)).map((e) => e.name + ' ' + at(e.ts)).join(', '));
  let blocking = 0;
  for (const t of longTasks(events, profile, min)) {
    blocking += Math.max(0, t.ms * 4 - 50);
    console.log(String(at(t.ts)).padStart(6) + ' ms  ' + t.ms.toFixed(1).padStart(5) + ' ms  ' + listed(t.functions));
  }
  console.log('blocking at a 4x slower CPU (tasks of ' + min + ' ms or more): ' + Math.round(blocking) + ' ms');
})().catch((e) => { console.error(e); process.exit(1); });
