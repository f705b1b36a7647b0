#!/usr/bin/env node
// Where the page's thread goes while the planner figures its heaviest questions (bench/web.js asks the same: a
// climb to +9 with its route, then the best chance within 10000 Q币; with --luck, the luck of a climb after a
// fast run has spent a million Q币, asked anew by switching the bonus on; with --pins, four plans pinned for 对比
// one after another, their curves and table drawn with the plan's), traced with a CPU profile beside it;
// prints each task on the page's thread of MIN ms or more with the trace's events inside it (script, style,
// layout, paint, GC: inclusive ms) and the functions that ran (inclusive ms). With --no-worker the page figures
// without its Web Worker (as where none starts).
//
//   node bench/planner-tasks.js SITE [MIN] [--no-worker] [--luck|--pins] MIN defaults to 8; run it under
//                                                                      flock /tmp/moxsim-cpu.lock
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {serve, launch, Player, scrambleSave} = require('../tests/web/driver');
const {CATEGORIES, longTasks, listed} = require('./tasks');

(async () => {
  const args = process.argv.slice(2).filter((a) => !a.startsWith('--'));
  const worker = !process.argv.includes('--no-worker');
  const luck = process.argv.includes('--luck');
  const pins = process.argv.includes('--pins');
  const min = +(args[1] || 8);
  const server = await serve(path.resolve(args[0]), true);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-planner-tasks-'));
  const browser = await launch(path.join(work, 'profile'));
  // Wide enough for both windows side by side: the bonus is a check box of the main window.
  const view = {width: luck ? 1900 : 1400, height: 1000, ratio: 1};
  let p = await Player.open(browser, server.url, view, work);
  const save = path.join(work, 'MOXdata');
  fs.writeFileSync(save, scrambleSave('1|1000000|0|0|0|0|0|0|0|0|0|0|0|0|0|'));
  await p.importFile(save, true);
  if (!worker) {
    await p.close();
    p = await Player.open(browser, server.url, view, work, (page) => page.evaluateOnNewDocument(() => {
      window.Worker = function () { throw new Error('no worker'); };
    }));
  }
  await p.click('a01');
  await p.click('a01');
  const figured = () => p.waitFor(async () => (await p.caption('计算状态标签')) === '' &&
                                              !(await p.caption('运气标签')).includes('计算中'), 60000);
  const choose = async (name, downs) => {
    await p.click(name);
    for (let i = 0; i < Math.abs(downs); ++i) await p.page.keyboard.press(downs > 0 ? 'ArrowDown' : 'ArrowUp');
    await p.page.keyboard.press('Enter');
  };
  await p.click('规划按钮');
  await figured();
  await p.click('按库存规划');
  await figured();

  if (luck) {
    await choose('目标等级', 4);
    await figured();
    await p.click('快速');
    await p.click('自动补给');
    await p.click('自动强化按钮');
    const spent = async () => +(((await p.caption('运气标签')) + ' ' + (await p.caption('运气说明')))
      .match(/([\d.]+) Q币/) || [0, 0])[1];
    const start = Date.now();
    while (Date.now() - start < 120000 && (await p.caption('自动强化按钮')) === '停止' && (await spent()) < 1e6) {
      await p.sleep(1000);
    }
    if ((await p.caption('自动强化按钮')) === '停止') await p.page.keyboard.press('Escape');
    await figured();
  }
  const cdp = await p.page.createCDPSession();
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', {interval: 100});
  const trace = path.join(work, 'trace.json');
  await p.page.tracing.start({path: trace, categories: CATEGORIES});
  await cdp.send('Profiler.start');
  const marks = [];
  const mark = (what) => p.page.evaluate((w) => performance.mark('bench-' + w), what).then(() => marks.push(what));
  if (luck) {
    await mark('the luck');
    await p.click('选择框1');
    await p.waitFor(async () => (await p.caption('加成标签')).includes('达人加成 开'), 5000);
    await p.sleep(8000);
  } else if (pins) {
    for (let k = 1; k <= 4; ++k) {
      await choose('目标等级', 1);
      await figured();
      await mark('pin ' + k);
      await p.click('加入对比');
      await p.waitFor(async () => (await p.caption('对比格' + (k - 1) + '0')) !== '', 5000);
      await p.sleep(300);
    }
  } else {
    await mark('climb to +9');
    await choose('目标等级', 4);
    await figured();
    await mark('budget goal');
    await choose('规划目标', 1);
    await choose('预算列表', 4);
    await figured();
  }
  await mark('done');
  const {profile} = await cdp.send('Profiler.stop');
  await p.page.tracing.stop();
  await browser.close();
  server.close();

  const events = JSON.parse(fs.readFileSync(trace, 'utf8')).traceEvents;
  fs.rmSync(work, {recursive: true, force: true});
  const at = events.filter((e) => /^bench-/.test(e.name)).map((e) => [e.ts, e.name.slice(6)]).sort((a, b) => a[0] - b[0]);
  const start = at.length ? at[0][0] : 0;
  for (const t of longTasks(events, profile, min)) {
    const during = (at.filter((m) => m[0] <= t.ts).pop() || [0, ''])[1];
    console.log(String(Math.round((t.ts - start) / 1000)).padStart(6) + ' ms  ' + t.ms.toFixed(1).padStart(5) +
                ' ms  (' + during + ')\n        events: ' + listed(t.events) + '\n        functions: ' + listed(t.functions));
  }
})().catch((e) => { console.error(e); process.exit(1); });
