#!/usr/bin/env node
// The web build from outside, as a player meets it, in Debian's headless Chromium driven through the DevTools
// protocol (puppeteer-core): the site served as static files; a save imported through the page's file input;
// cells clicked, an enhancement at 100 %, the benches switched, the stock saved, the page reloaded and the stock
// found again; the save exported and the export imported back; a foreign file and a failed write refused; the
// planner opened, a fast auto-run with auto-supply to +5, its record exported; golden screenshots of the
// canvases at device pixel ratios 1 and 2 (the 2x set landed after the first frame); a phone by touch, both
// windows shown in their parts (golden images, a list, a purchase, a cell, the enhance button and its banner, the
// planner opened and closed); nothing running at rest; the layer of elements over the canvases as a
// screen reader finds it (Accessibility.getFullAXTree) and a purchase and an enhancement through it alone; two
// tabs on one stock; the storage full or cleared while open; the page installable and reloaded offline; the
// planner's figures from its Web Worker against the native program's, and from a page where no worker starts;
// and the page opened from a file, figuring in a worker all the same.
//
//   node tests/web/e2e.js [SITE [SCRIPT]]     SITE defaults to dist/moxsim-web; SCRIPT, the native moxsim-script,
//                                             adds a link copied on the desktop
//   MOX_UPDATE_GOLDEN=1 node tests/web/e2e.js  writes the screenshots as the new golden images
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');
const {serve, launch, Player, decodeSave, scrambleSave} = require('./driver');

const GOLDEN = path.join(__dirname, 'golden');
const UPDATE = !!process.env.MOX_UPDATE_GOLDEN;
// Screenshots may differ from the golden ones in this share of their pixels by more than a tenth of the colour
// range: room for a rounding change in the browser, not for a misplaced control.
const PIXEL_SHARE = 0.002;
// What depends on the auto-run's draws or the clock in the planner window: the odds of the bench left behind,
// the run's status and money, the record, the luck, the chart and the export's message.
const RECORD = 410;
// The planner's figures a link's question shows.
const LINKED = ['期望花费标签', '九成花费标签', '库存用量标签'];  // the top of the planner's record box
// The roles of the controls a click reaches, in the accessibility tree.
const ROLES = ['button', 'checkbox', 'combobox', 'gridcell'];
const PLANNER_MASKS = [[10, 20, 432, 84], [456 + 106, 300 + 18, 328, 44], [456 + 8, RECORD + 18, 420, 164],
  [456 + 10, 640 + 16, 432, 44], [8, 288, 436, 256], [456 + 100, RECORD + 186, 330, 36], [456, RECORD, 436, 18]];

const failures = [];
function check(ok, what) {
  if (ok) console.log('ok   ' + what); else { failures.push(what); console.log('FAIL ' + what); }
}

// Compares a canvas with its golden image; with `within`, a moving picture (the banner) gets that many
// milliseconds to come to the golden one's state.
async function golden(p, name, canvas, masks, within) {
  const file = path.join(GOLDEN, name + '.png');
  if (UPDATE || !fs.existsSync(file)) {
    if (within) await p.sleep(within / 2);
    fs.mkdirSync(GOLDEN, {recursive: true});
    fs.writeFileSync(file, await p.canvasPng(canvas));
    console.log('new  golden ' + name);
    return;
  }
  const end = Date.now() + (within || 0);
  let r = await p.compareCanvas(canvas, fs.readFileSync(file), masks || []);
  while ((!r.sameSize || r.differing > r.total * PIXEL_SHARE) && Date.now() < end) {
    await p.sleep(30);
    r = await p.compareCanvas(canvas, fs.readFileSync(file), masks || []);
  }
  const out = path.join(os.tmpdir(), 'moxsim-web-' + name + '.png');
  if (!r.sameSize || r.differing > r.total * PIXEL_SHARE) fs.writeFileSync(out, await p.canvasPng(canvas));
  check(r.sameSize && r.differing <= r.total * PIXEL_SHARE,
        'golden ' + name +
        (r.sameSize ? ' (' + r.differing + ' of ' + r.total + ' pixels differ)' : ' (size ' + r.size + ')') +
        (r.sameSize && r.differing <= r.total * PIXEL_SHARE ? '' : ', shot in ' + out));
}

// A window shown in parts as the phone's screen shows it: its parts one under another at their displayed sizes
// in device pixels, on a canvas the comparison reads like a window's; returns that canvas's id.
async function stacked(p, w) {
  await p.page.evaluate((w) => {
    const parts = Array.from(document.querySelectorAll((w ? '#planner-window' : '#main-window') + ' canvas.part'))
      .filter((c) => !c.hidden);
    let shot = document.getElementById('stacked-shot');
    if (!shot) {
      shot = document.createElement('canvas');
      shot.id = 'stacked-shot';
      shot.hidden = true;
      document.body.appendChild(shot);
    }
    const k = window.devicePixelRatio;
    const sizes = parts.map((c) => [Math.round(c.getBoundingClientRect().width * k),
                                    Math.round(c.getBoundingClientRect().height * k)]);
    shot.width = Math.max(...sizes.map((s) => s[0]));
    shot.height = sizes.reduce((h, s) => h + s[1], 0);
    shot.dataset.layoutWidth = shot.width;
    const ctx = shot.getContext('2d');
    ctx.imageSmoothingQuality = 'high';
    let y = 0;
    parts.forEach((c, i) => {
      ctx.drawImage(c, 0, y, sizes[i][0], sizes[i][1]);
      y += sizes[i][1];
    });
  }, w);
  return 'stacked-shot';
}

async function main() {
  const site = path.resolve(process.argv[2] || path.join(__dirname, '..', '..', 'dist', 'moxsim-web'));
  const script = process.argv[3];  // the native build's moxsim-script, for a link copied on the desktop
  const server = await serve(site);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'moxsim-web-e2e-'));
  const browser = await launch(path.join(work, 'profile'));
  try {
    const p = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 1}, work);
    check(await p.state('audio') === 'none', 'no sound is set up before the first gesture');
    check((await p.caption('n1')) === '', 'a fresh page starts with an empty bag');

    // Import a save of one chip +0 and five big crystals; the page starts again with it.
    const imported = path.join(work, 'imported-MOXdata');
    fs.writeFileSync(imported, scrambleSave('1|0|5|0|0|0|0|0|0|0|0|0|0|0|0|'));
    await p.importFile(imported, true);
    check((await p.caption('n1')) === '1' && (await p.caption('n2')) === '5', 'the imported stock is in the bag');
    check(await p.state('firstFrameAwaitedPack') === 0, 'the first frame with a stock draws from the module alone, ' +
          'not waiting for moxsim-assets.bin');
    await p.rest();
    await golden(p, 'main-1x-imported', 'moxsim-main');

    // The layer over the canvas as a screen reader finds it: every control of the keyboard's ring named with its
    // role, the bag a grid of cells named by item and count.
    const unnamed = (controls) => controls.filter((c) => c.ignored || !c.name || !ROLES.includes(c.role))
      .map((c) => c.control + ':' + c.role + ':' + c.name);
    const mainControls = await p.axControls(0);
    check(mainControls.length >= 25 && unnamed(mainControls).length === 0,
          'the accessibility tree names all ' + mainControls.length + ' controls of the main window with their ' +
          'roles ' + unnamed(mainControls).join(' '));
    check(await p.hasNode('gridcell', '+0 芯片，1 个') && await p.hasNode('gridcell', '大晶体，5 个') &&
          await p.hasNode('gridcell', '空') && await p.hasNode('checkbox', '达人强化成功率加成'),
          'cells are named by item and count, empty ones as empty');

    // The chip and two big crystals on the bench: 100 %; enhance; the banner comes and goes.
    for (let i = 0; i < 3; ++i) await p.click('a01');
    check((await p.caption('标签2')) === '100%', 'the bench shows 100 % (' + await p.caption('标签2') + ')');
    check(await p.hasNode('gridcell', '大晶体，3 个') && !(await p.hasNode('gridcell', '大晶体，5 个')),
          'a cell\'s name follows the stock');
    await p.click('图形按钮1');
    check(await p.state('audio') === 'running' && (await p.state('sounds')) > 0,
          'sound runs after the first click: ' + await p.state('sounds') + ' played');
    await p.rest();
    await golden(p, 'main-1x-banner', 'moxsim-main', [], 1500);
    await p.waitFor(async () => (await p.state('timers')) === 0, 5000);
    await p.rest();
    await golden(p, 'main-1x-enhanced', 'moxsim-main');

    // Switch benches and back, then save: the stock is written to the browser's storage.
    await p.click('合成显示按钮');
    await p.click('强化显示按钮');
    const before = await p.stored();
    await p.click('保存数据');
    await p.waitFor(async () => String(await p.stored()) !== String(before), 5000);
    const expected = '0|0|3|0|0|0|1|0|0|0|0|0|0|0|0|';
    check(decodeSave(await p.stored()) === expected, 'MOXdata stored: ' + decodeSave(await p.stored()));

    // Reload: the stock is there again.
    await p.reload();
    check((await p.caption('n1')) === '1' && (await p.caption('n2')) === '3', 'the stock is back after a reload');

    // Export: the download is the stored file byte for byte.
    const exported = await p.download('#export-save', 'MOXdata');
    check(exported && Buffer.compare(exported, Buffer.from(await p.stored())) === 0,
          'the export is the stored MOXdata');

    // A foreign file loads nothing and says so.
    const foreign = path.join(work, 'foreign.txt');
    fs.writeFileSync(foreign, 'not a save file at all');
    await p.importFile(foreign, false);
    check((await p.boxText()).includes('不是 moxsim 的存档'), 'a foreign file is refused: ' + await p.boxText());
    await p.closeBox();
    check(decodeSave(await p.stored()) === expected, 'the refused file left the stored stock alone');

    // The export loads back: the same stock.
    const exportFile = path.join(work, 'MOXdata');
    fs.writeFileSync(exportFile, exported || Buffer.alloc(0));
    await p.importFile(exportFile, true);
    check((await p.caption('n1')) === '1' && (await p.caption('n2')) === '3', 'the export loads back the same stock');

    // A write the browser refuses (its storage is full): the failure box, the previous copy stays, and the page
    // keeps the newer stock for 导出存档.
    await p.page.evaluate(() => {
      IDBObjectStore.prototype.put = function () { throw new DOMException('full', 'QuotaExceededError'); };
    });
    await p.click('图形按钮2');
    await p.click('图形按钮3');
    await p.click('保存数据');
    await p.waitFor(async () => (await p.boxText()) !== '', 3000);
    check((await p.boxText()).includes('数据保存失败'), 'a failed save shows the failure box: ' + await p.boxText());
    await p.closeBox();
    check(decodeSave(await p.stored()) === expected, 'a failed save keeps the previous copy');
    // The page says the storage is full and 导出存档 gives the stock that could not be stored.
    const kept = await p.download('#export-save', 'MOXdata');
    const full = await p.page.$eval('#notice', (n) => n.textContent);
    check(full.includes('存储空间满了') && kept && decodeSave(kept) !== expected && decodeSave(kept).length > 20,
          'a full storage is said, and the export keeps the newer stock: ' + (kept && decodeSave(kept)));
    await p.reload();

    // The planner: the chip +1 and the three crystals on the bench, then a fast auto-run with auto-supply to +5.
    for (let i = 0; i < 4; ++i) await p.click('a01');
    await p.click('规划按钮');
    check(await p.state('planner'), 'the planner button shows the planner window');
    await p.waitFor(async () => (await p.caption('计算状态标签')) === '', 5000);
    await p.rest();
    await golden(p, 'planner-1x', 'moxsim-planner', [[456 + 8, RECORD + 18, 420, 164]]);
    const plannerControls = await p.axControls(1);
    const figures = await p.page.$eval('#planner-window .layer', (l) => l.textContent);
    check(plannerControls.length >= 8 && unnamed(plannerControls).length === 0 &&
          figures.includes(await p.caption('期望花费标签')) && figures.includes(await p.caption('强化几率标签')),
          'the planner\'s ' + plannerControls.length + ' controls are named with their roles, its figures read ' +
          'as text ' + unnamed(plannerControls).join(' '));
    // 对比 through the layer: the plan pinned, its row read as a table under a header row, kept in the browser's
    // storage beside the stock.
    await p.press('button', '加入对比');
    await p.waitFor(async () => (await p.caption('对比状态标签')).startsWith('已加入对比'), 5000);
    const table = await p.page.$eval('#planner-window .layer [role=table]', (t) => Array.from(
      t.querySelectorAll('[role=row]'), (r) => Array.from(r.children, (c) => c.getAttribute('role') + ':' + c.textContent)));
    check(table.length === 2 && table[0].includes('columnheader:平均') &&
          table[1][0] === 'cell:' + await p.caption('对比格00') && table[1].length === 7 &&
          table[1][6] === 'cell:删除', '对比表 reads as a table: ' + JSON.stringify(table));
    const pinned = (await p.stored('MOXplans')).toString('utf8');
    check(/^[^\n]+\n$/.test(pinned), 'the pin is kept in the browser\'s storage: ' + pinned);
    await p.click('快速');
    await p.click('自动补给');
    await p.click('自动强化按钮');
    await p.waitFor(async () => (await p.caption('自动强化按钮')) !== '停止', 20000);
    check((await p.caption('自动状态标签')).includes('+5'), 'the auto-run reached +5: ' + await p.caption('自动状态标签'));
    const csv = await p.download(() => p.click('导出按钮'), 'MOXhistory.csv');
    const lines = csv ? csv.toString('utf8').replace(/^\ufeff/, '').split('\r\n').filter(Boolean) : [];
    // Every attempt of the run is a line (how many depends on the draws: four successes in a row make four).
    const attempts = +((await p.caption('自动状态标签')).match(/共强化 (\d+) 次/) || [0, 99])[1];
    check(lines.length >= attempts + 1 && lines[0].startsWith('时间,操作') && lines[lines.length - 1].split(',')[3] === '+5',
          'MOXhistory.csv downloaded: ' + lines.length + ' lines, the last ' + lines[lines.length - 1]);
    await p.rest();
    await golden(p, 'planner-1x-after', 'moxsim-planner', PLANNER_MASKS);
    await p.page.keyboard.press('Escape');
    await p.waitFor(async () => !(await p.state('planner')), 2000);
    check(!(await p.state('planner')), 'Esc hides the planner window');
    await p.sleep(400);
    check((await p.state('timers')) === 0 && (await p.framesWithin(600)) === 0, 'nothing runs at rest');
    await p.close();

    // Device pixel ratio 2: the same window in twice the pixels, drawn from the 2x set once it has come (after the
    // first frame, never before it).
    const p2 = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 2}, work);
    await p2.waitFor(() => p2.state('sharp'), 10000);
    const order = await p2.page.evaluate(() => [performance.getEntriesByName('moxsim-first-frame')[0].startTime,
      ...performance.getEntriesByType('resource').filter((e) => /moxsim-2x/.test(e.name)).map((e) => e.startTime)]);
    check(order.length === 2 && order[1] > order[0] && await p2.state('sharp'),
          'at ratio 2 the 2x set comes after the first frame (' + order.map(Math.round).join(' and ') + ' ms)');
    // Before the first frame only what it shows: the first faces and pictures, not the whole faces nor the pack.
    const asked = await p2.page.evaluate(() => {
      const frame = performance.getEntriesByName('moxsim-first-frame')[0].startTime;
      return performance.getEntriesByType('resource').filter((e) => e.startTime < frame)
        .map((e) => e.name.split('/').pop());
    });
    check(asked.some((n) => /^moxsim-first\./.test(n)) && asked.some((n) => /^Sans-Regular\./.test(n)) &&
          !asked.some((n) => /-all\.|^moxsim-assets\./.test(n)),
          'before the first frame the page asks only for what it shows: ' + asked.join(' '));
    await p2.frames();
    await p2.rest();
    await golden(p2, 'main-2x', 'moxsim-main');
    check(await p2.caption('对比状态标签') === '载入了上次的 1 个对比', 'the pin comes back with the page: ' +
          await p2.caption('对比状态标签'));
    await p2.click('规划按钮');
    await p2.waitFor(async () => (await p2.caption('计算状态标签')) === '', 5000);
    await p2.rest();
    await golden(p2, 'planner-2x', 'moxsim-planner', PLANNER_MASKS);
    await p2.close();

    // The planner opened before the whole faces have come waits for them (no caption in a face other than the
    // program's meanwhile), then shows as in a page that had them at once.
    const LATER_FACE = /-all\.([0-9a-f]+\.)?woff2$/;
    let release;
    const held = new Promise((resolve) => { release = resolve; });
    const late = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 1}, work, async (page) => {
      await page.setBypassServiceWorker(true);
      await page.setRequestInterception(true);
      page.on('request', (r) => (LATER_FACE.test(r.url()) ? held.then(() => r.continue()) : r.continue()));
    });
    await late.page.mouse.click(...(await late.middle('规划按钮')));
    await late.sleep(500);
    check(await late.state('planner') && await late.state('drawing'), 'the planner waits for the later faces');
    release();
    await late.waitFor(async () => (await late.caption('计算状态标签')) === '' && !(await late.state('drawing')), 5000);
    await late.rest();
    const whole = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 1}, work);
    await whole.click('规划按钮');
    await whole.waitFor(async () => (await whole.caption('计算状态标签')) === '', 5000);
    await whole.rest();
    const same = await late.compareCanvas('moxsim-planner', await whole.canvasPng('moxsim-planner'), PLANNER_MASKS);
    check(same.sameSize && same.differing === 0,
          'the planner drawn once the later faces came is the one with every face (' + same.differing + ' differ)');
    await whole.close();
    await late.close();

    // A question copied on the desktop (the script driver runs the desktop program's logic, from a bag of its
    // own) opens in the page with the same figures, and the visitor's stock stays as it was; a fragment that is
    // not a question opens the page as usual and says so.
    if (script) {
      const desk = fs.mkdtempSync(path.join(work, 'desk-'));
      fs.writeFileSync(path.join(desk, 'MOXdata'), scrambleSave('0|40|10|0|3|1|0|0|0|0|0|0|0|0|0|'));
      const asked = ['规划按钮', '选择框1'].map((n) => 'click ' + n).concat(
        ['select 目标等级 7', 'select 预算列表 3', 'wait', 'click 复制规划链接', 'clipboard'],
        LINKED.map((n) => 'caption ' + n));
      const said = execFileSync(script, [desk], {input: asked.join('\n') + '\n'}).toString().split('\n');
      const link = said[0], hash = link.slice(link.indexOf('#'));
      const lp = await Player.open(browser, server.url + hash, {width: 1400, height: 1000, ratio: 1}, work);
      await lp.waitFor(async () => (await lp.state('planner')) && (await lp.caption('计算状态标签')) === '', 5000);
      const shown = [];
      for (const n of LINKED) shown.push(await lp.caption(n));
      check(link.includes('stock=0.40.10.0.3.1.') && shown.slice(0, 2).join('|') === said.slice(1, 3).join('|') &&
            shown[2] === '链接里的库存 · ' + said[3] && !(await lp.hasNode('gridcell', '小晶体，40 个')),
            'a link copied on the desktop opens the planner with its figures: ' + shown.join(' | '));
      await lp.page.evaluate(() => { location.hash = '#v=1&from=<img src=x onerror=alert(1)>'; });
      await lp.waitFor(async () => (await lp.page.$eval('#notice', (n) => n.textContent)) !== '', 3000);
      check((await lp.page.$eval('#notice', (n) => n.textContent)).includes('链接里的规划没能读出来') &&
            (await lp.page.$$('#notice img')).length === 0,
            'a hostile fragment opens the page as usual and says the link could not be read');
      await lp.close();
    }

    // A phone held upright, used by touch: each window shown in its parts one under another, as wide as the screen.
    const phoneContext = await browser.createBrowserContext();
    const phone = await Player.open(phoneContext, server.url, {width: 390, height: 844, ratio: 3, touch: true}, work);
    const inParts = await phone.state('inParts');
    const smallest = await phone.page.evaluate(() => window.moxsimPage.smallestShown(0));
    const sideways = await phone.page.evaluate(() => document.documentElement.scrollWidth -
                                                     document.documentElement.clientWidth);
    check(inParts[0] >= 3 && inParts[1] === 2 && sideways <= 0 && smallest >= 0.85,
          'on a phone the windows are shown in parts (' + inParts.join(' and ') + '), every control of the main ' +
          'window at ' + smallest.toFixed(3) + ' of its size or more, nothing scrolls sideways');
    await phone.rest();
    await golden(phone, 'main-phone', await stacked(phone, 0));
    // The window as its bands and its pictures' copies left it is the window drawn again whole from scratch, onto
    // cleared canvases, its pictures resampled anew.
    const parts = '#main-window canvas.part:not([hidden])';
    const pixels = () => phone.page.$$eval(parts, (cs) => cs.map((c) => c.toDataURL()).join());
    const settled = await pixels();
    await phone.page.$$eval(parts, (cs) => cs.forEach((c) => c.getContext('2d').clearRect(0, 0, c.width, c.height)));
    await phone.page.evaluate(() => window.moxsimPage.redraw());
    await phone.frames();
    await phone.waitFor(async () => !(await phone.state('drawing')), 10000);
    check(await pixels() === settled, 'the phone\'s parts drawn in bands are the same pixels as drawn again whole');
    // A list opens inside the viewport and takes a tap on an item; a purchase; a bag cell; the enhance button.
    await phone.tap('组合框1');
    const list = await phone.page.evaluate(() => {
      const r = window.moxsimPage.openList(0);
      return r && {top: r[1], bottom: r[1] + r[3], height: window.innerHeight, item: [r[0] + r[2] / 2, r[1] + 24]};
    });
    check(list && list.top >= 0 && list.bottom <= list.height, 'a tapped list opens inside the viewport ' +
          JSON.stringify(list));
    if (list) await phone.page.touchscreen.tap(list.item[0], list.item[1]);
    await phone.frames();
    check(await phone.caption('组合框1') === '50元', 'a tap on its item chooses it: ' + await phone.caption('组合框1'));
    await phone.tap('图形按钮2');
    await phone.tap('图形按钮3');
    await phone.tap('a01');
    check(await phone.caption('n1') === '' && (await phone.describe('芯片位')).reachable,
          'a chip bought and tapped in the bag goes onto the bench');
    await phone.tap('图形按钮1');
    const bannerShown = () => phone.page.evaluate(() => {
      const b = document.querySelector('canvas.banner');
      const r = b && !b.hidden && b.isConnected ? b.getBoundingClientRect() : null;
      return r && {top: r.top, bottom: r.bottom, width: r.width, height: window.innerHeight};
    });
    await phone.waitFor(bannerShown, 1500);
    const banner = await bannerShown();
    check(banner && banner.top >= 0 && banner.bottom <= banner.height && banner.width >= 380,
          'the enhance button\'s banner shows whole over the part in view ' + JSON.stringify(banner));
    // A help panel opens alone under the header (no pieces of it over the columns), scrolled into view; closed, the
    // columns come back where the player was.
    await phone.page.evaluate(() => window.scrollTo(0, 200));
    await phone.middle('图形按钮4');
    const scrolled = await phone.page.evaluate(() => window.scrollY);
    await phone.tap('图形按钮4');
    const panelParts = (await phone.state('inParts'))[0];
    const panel = (await phone.describe('强化说明')).middle;
    const viewHeight = await phone.page.evaluate(() => window.innerHeight);
    await phone.tap('关闭说明2');
    await phone.frames();
    const back = await phone.page.evaluate(() => window.scrollY);
    const partsAfter = (await phone.state('inParts'))[0];
    check(panelParts === 2 && panel[1] > 0 && panel[1] < viewHeight && partsAfter === inParts[0] &&
          Math.abs(back - scrolled) < 2, 'a help panel shows alone and in view, and closed the page is back where it ' +
          'was ' + JSON.stringify({panelParts, panel, scrolled, back}));
    await phone.tap('规划按钮');
    check(await phone.state('planner'), 'a tap on 规划 opens the planner');
    await phone.waitFor(async () => (await phone.caption('计算状态标签')) === '', 5000);
    await phone.rest();
    check(await phone.page.evaluate(() => window.moxsimPage.smallestShown(1)) >= 0.85,
          'every control of the planner at 0.85 of its size or more');
    await golden(phone, 'planner-phone', await stacked(phone, 1));
    await phone.page.evaluate(() => window.scrollTo(0, 0));
    await phone.page.tap('#close-planner');
    await phone.frames();
    check(!(await phone.state('planner')), 'the close control hides the planner');
    await phone.close();
    await phoneContext.close();

    // The keyboard alone: Tab through the main window's controls to 规划, Enter opens the planner, Esc hides it.
    const kb = await Player.open(browser, server.url, {width: 1900, height: 1000, ratio: 1}, work);
    await kb.page.focus('#import-save');
    await kb.page.keyboard.press('Tab');
    const plan = await kb.describe('规划按钮');
    const ringOn = (at) => kb.page.$eval('.focus-ring', (r, d) => {
      const c = document.getElementById('moxsim-main');
      return !r.hidden && Math.abs(r.offsetLeft + 2 - c.offsetLeft - d.x * d.fit) < 1 &&
             Math.abs(r.offsetTop + 2 - c.offsetTop - d.y * d.fit) < 1;
    }, at || plan);
    let tabs = 0;
    while (!(await ringOn()) && tabs < 120) {
      await kb.page.keyboard.press('Tab');
      ++tabs;
    }
    const focused = () => kb.page.evaluate(() => document.activeElement.getAttribute('role') ||
                                                  document.activeElement.tagName.toLowerCase() + ':' +
                                                  document.activeElement.textContent);
    check(await focused() === 'button:规划', 'the keyboard\'s focus follows the ring onto the layer: ' + await focused());
    await kb.page.keyboard.press('Enter');
    await kb.frames();
    check(await kb.state('planner'), 'Tab (' + tabs + ' times) and Enter reach 规划 and open the planner');
    await kb.page.keyboard.press('Escape');
    await kb.frames();
    check(!(await kb.state('planner')), 'Esc from the keyboard hides it again');
    // A screen reader moving its focus onto an element takes the ring there.
    await (await kb.cdp()).send('Runtime.callFunctionOn', {objectId: await kb.layerNode('button', '保存'),
                                                           functionDeclaration: 'function () { this.focus(); }'});
    check(await ringOn(await kb.describe("保存数据")), 'the ring follows the focus of a screen reader');
    await kb.close();

    // Errors the page can meet: each says so in the page, and what can still run runs.
    const broken = async (what, prepare, expectReady) => {
      const page = await browser.newPage();
      // What the service worker keeps would hide a failing network.
      await page.setBypassServiceWorker(true);
      await prepare(page);
      await page.goto(server.url);
      await page.waitForFunction(() => document.documentElement.dataset.moxsim === 'ready' ||
                                       !document.getElementById('message').hidden, {timeout: 20000});
      // What fails after the first frame (the pack fetched then) is said a moment later.
      await page.waitForFunction(() => !document.getElementById('message').hidden ||
                                       document.getElementById('notice').textContent !== '', {timeout: 5000})
        .catch(() => {});
      const said = await page.evaluate(() => ({
        message: document.getElementById('message').hidden ? '' : document.getElementById('message').textContent,
        notice: document.getElementById('notice').textContent,
        ready: document.documentElement.dataset.moxsim === 'ready'}));
      await page.close();
      check(said.ready === expectReady && (said.message || said.notice) !== '',
            what + ': ' + (said.message || said.notice) + (said.ready ? ' (the simulator runs)' : ''));
    };
    await broken('no WebAssembly', (page) => page.evaluateOnNewDocument(() => { delete window.WebAssembly; }), false);
    await broken('no storage', (page) => page.evaluateOnNewDocument(() => {
      IDBFactory.prototype.open = function () { throw new DOMException('denied', 'SecurityError'); };
    }), true);
    await broken('no font', async (page) => {
      await page.setRequestInterception(true);
      page.on('request', (r) => (r.url().endsWith('.woff2') ? r.abort() : r.continue()));
    }, true);
    await broken('no later faces', async (page) => {
      await page.setRequestInterception(true);
      page.on('request', (r) => (/-all\.([0-9a-f]+\.)?woff2$/.test(r.url()) ? r.abort() : r.continue()));
    }, true);
    await broken('no moxsim-assets.bin', async (page) => {
      await page.setRequestInterception(true);
      page.on('request', (r) => (/moxsim-assets\.([0-9a-f]+\.)?bin$/.test(r.url()) ? r.abort() : r.continue()));
    }, true);
    await broken('a moxsim-first.bin that arrives corrupt', async (page) => {
      await page.setRequestInterception(true);
      page.on('request', (r) => (/moxsim-first\.([0-9a-f]+\.)?bin$/.test(r.url())
        ? r.respond({status: 200, contentType: 'application/octet-stream', body: 'MOXPACK1 cut short'})
        : r.continue()));
    }, true);
    // The first picture handed to the browser is the first of moxsim-first.bin: the bag, which the first frame shows.
    await broken('a picture that does not decode', (page) => page.evaluateOnNewDocument(() => {
      const decode = window.createImageBitmap;
      let calls = 0;
      window.createImageBitmap = function (blob) {
        return ++calls === 1 ? Promise.reject(new Error('broken')) : decode.call(window, blob);
      };
    }), true);

    // The page's own controls with the keyboard and a screen reader: both buttons by name, in the tab order.
    const p4 = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 1}, work);
    const tree = JSON.stringify(await p4.page.accessibility.snapshot({interestingOnly: true}));
    check(tree.includes('"name":"导出存档"') && tree.includes('"name":"导入存档"'),
          'a screen reader finds 导出存档 and 导入存档');

    // The simulator through the layer's elements alone, as a screen reader clicks and chooses: top up, buy a chip
    // and a crystal, lay both on the bench, enhance; the banner is said. (The stock saved above is there too.)
    await p4.press('combobox', '10元', '50元');
    await p4.press('button', '充值');
    await p4.press('button', '购买');
    await p4.press('combobox', '0级芯片（10Q币）', '小能量晶体（2.5Q币）');
    await p4.press('button', '购买');
    await p4.press('gridcell', '+0 芯片，1 个');
    await p4.press('gridcell', '小晶体，1 个');
    await p4.press('button', '强化');
    await p4.waitFor(async () => (await p4.page.$eval('#said', (s) => s.textContent)) !== '', 2000);
    const said = await p4.page.$eval('#said', (s) => s.textContent);
    check(!(await p4.hasNode('gridcell', '小晶体，1 个')) && said.startsWith('芯片升级'),
          'top-up, purchases, the bench and an enhancement through the layer alone; said: ' + said);
    await p4.page.focus('#export-save');
    await p4.page.keyboard.press('Tab');
    check(await p4.page.evaluate(() => document.activeElement.id) === 'import-save', 'Tab goes from export to import');

    // A second tab while this one works on the stock: it says so, and its save cannot replace the stock this one
    // stores after it opened; when this tab closes, the other takes the stock over with this tab's chip in it.
    const tab = await Player.open(browser, server.url, {width: 1400, height: 1000, ratio: 1}, work);
    const bar = () => tab.page.$eval('#tabs', (t) => (t.hidden ? '' : t.textContent));
    check((await bar()).includes('另一个标签页'), 'the second tab says another works on the stock: ' + await bar());
    const prior = decodeSave(await p4.stored());
    await p4.press('button', '保存');
    await p4.waitFor(async () => decodeSave(await p4.stored()) !== prior, 3000);
    const first = decodeSave(await p4.stored());
    await tab.click('保存数据');
    await tab.waitFor(async () => (await tab.boxText()) !== '', 3000);
    check((await tab.boxText()).includes('另一个标签页') && decodeSave(await tab.stored()) === first,
          'the second tab\'s save leaves the first tab\'s stock alone (' + first + '): ' +
          (await tab.boxText()).replace(/\n/g, ' '));
    await tab.closeBox();
    await tab.importFile(imported, false);
    check((await tab.boxText()).includes('不能导入存档') && decodeSave(await tab.stored()) === first,
          'nor does its import: ' + await tab.boxText());
    await tab.closeBox();
    const handed = tab.page.waitForNavigation();
    await p4.close();
    await handed;
    await tab.ready();
    check(await bar() === '' && (await tab.caption('n1')) !== '', 'closing the first tab hands the stock to the other');

    // The browser clears the site's data while the page is open: the page says so, and the next save stores the
    // stock again.
    await tab.page.evaluate(() => { indexedDB.deleteDatabase('moxsim'); });
    await tab.waitFor(async () => (await tab.page.$eval('#notice', (n) => n.textContent)).includes('清除'), 3000);
    await tab.click('保存数据');
    await tab.waitFor(async () => decodeSave(await tab.stored()) === first, 3000);
    check(decodeSave(await tab.stored()) === first, 'storage cleared while open: said, and saved again: ' +
          await tab.page.$eval('#notice', (n) => n.textContent));

    // Offline: after the visits above, the service worker has the site; with the network gone a reload reaches
    // the first frame and saves. The page can be installed.
    const cdp = await tab.cdp();
    await tab.page.evaluate(() => navigator.serviceWorker.ready);
    const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
    check(installabilityErrors.length === 0, 'the page can be installed ' + JSON.stringify(installabilityErrors));
    await cdp.send('Network.enable');
    await cdp.send('Network.emulateNetworkConditions', {offline: true, latency: 0, downloadThroughput: -1,
                                                        uploadThroughput: -1});
    await tab.reload();
    await tab.page.evaluate(() => document.getElementById('said').textContent = '');
    await tab.click('保存数据');
    await tab.waitFor(async () => (await tab.page.$eval('#said', (s) => s.textContent)) !== '', 3000);
    check(await tab.page.$eval('#said', (s) => s.textContent) === '数据保存成功！',
          'offline, a reload reaches the first frame and saves');
    await cdp.send('Network.emulateNetworkConditions', {offline: false, latency: 0, downloadThroughput: -1,
                                                        uploadThroughput: -1});
    await tab.close();

    // The planner's figuring in the page's Web Worker gives the native program's figures to the digit, a climb to
    // +9 and the best chance within 5000 Q币 (moxsim-plan climb 0 9 --best: 4370.37, 3946.5, 7302.5, 11352;
    // moxsim-plan budget 0 9 5000: 69.28 %); a page where no worker starts figures on its own thread, says so,
    // and gives the same. A fresh profile: nothing in the bag.
    const NATIVE = {'期望花费标签': '平均还要花 4370.4 Q币', '中位花费标签': '一半玩家 ≤ 3946.5 Q币',
      '九成花费标签': '九成玩家 ≤ 7302.5 Q币', '极端花费标签': '99% 玩家 ≤ 11352 Q币',
      '预算成功率标签': '预算 5000.0 Q币 内最高成功率 69.3%'};
    for (const noWorker of [false, true]) {
      const context = await browser.createBrowserContext();
      const w = await Player.open(context, server.url, {width: 1400, height: 1000, ratio: 1}, work, noWorker &&
        ((page) => page.evaluateOnNewDocument(() => { window.Worker = function () { throw new Error('no worker'); }; })));
      await w.click('规划按钮');
      const choose = async (name, downs) => {
        await w.click(name);
        for (let i = 0; i < downs; ++i) await w.page.keyboard.press('ArrowDown');
        await w.page.keyboard.press('Enter');
        await w.waitFor(async () => (await w.caption('计算状态标签')) === '', 20000);
      };
      await choose('目标等级', 4);
      const shown = {};
      for (const name of ['期望花费标签', '中位花费标签', '九成花费标签', '极端花费标签']) shown[name] = await w.caption(name);
      await choose('规划目标', 1);
      await choose('预算列表', 3);
      shown['预算成功率标签'] = await w.caption('预算成功率标签');
      const note = await w.page.$eval('#notice', (n) => n.textContent);
      const where = await w.state('figuring');
      check(JSON.stringify(shown) === JSON.stringify(NATIVE) && where === (noWorker ? 'page' : 'worker') &&
            note.includes('规划在本页线程里计算') === noWorker,
            (noWorker ? 'a page where no worker starts figures the plan itself and says so' :
              'the plan figured in the Web Worker') + ': ' + JSON.stringify(shown) + ' ' + where + ' ' + note);
      await w.close();
      await context.close();
    }

    // Opened from a file: the page runs the program from its single-file script, and figures the plan in a worker
    // started from the script's text, with the native figures.
    const p3 = await Player.open(browser, 'file://' + path.join(site, 'index.html'),
                                 {width: 1400, height: 1000, ratio: 1}, work);
    check(await p3.state('ready'), 'the page opened from a file runs the simulator');
    await p3.click('规划按钮');
    await p3.click('目标等级');
    for (let i = 0; i < 4; ++i) await p3.page.keyboard.press('ArrowDown');
    await p3.page.keyboard.press('Enter');
    await p3.waitFor(async () => (await p3.caption('计算状态标签')) === '', 20000);
    const fromFile = await p3.caption('期望花费标签');
    const fromFileNote = await p3.page.$eval('#notice', (n) => n.textContent);
    check(fromFile === NATIVE['期望花费标签'] && (await p3.state('figuring')) === 'worker' &&
          !fromFileNote.includes('规划在本页线程里计算') && p3.errors.length === 0,
          'opened from a file, the planner figures in a worker: ' + fromFile + ' ' + fromFileNote + ' ' + p3.errors);
    await p3.close();
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(work, {recursive: true, force: true});
  }
  console.log(failures.length ? failures.length + ' failed' : 'all passed');
  process.exit(failures.length ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(1); });
