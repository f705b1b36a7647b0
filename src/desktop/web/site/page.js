// The page around the program: it checks what the browser can do, starts the program with the stored save file
// and the fonts, passes the browser's events to it and answers what it asks of the page (moxPage). Its parts are
// factories of their own, put in one file with this one by the build: the layer of elements (layer.js), the
// stock in the browser's storage (storage.js), the windows' placement (placement.js), the keyboard's ring
// (ring.js) and the planner's worker (figurer.js). The program's own logic and looks are all in the wasm
// (web_exports.cpp, web_window.cpp, and its runtime, web_runtime.js).
(function () {
  'use strict';
  const $ = function (id) { return document.getElementById(id); };
  const Key = MoxBridge.Key, Button = MoxBridge.Button, Pointer = MoxBridge.PointerKind;
  const boot = window.moxBoot;
  const canvases = [$('moxsim-main'), $('moxsim-planner')];
  let program = null;
  let plannerShown = false;
  let lastCopied = '';  // what 复制规划链接 copied last
  const notices = new Set();
  let layerMade = false;  // the layer of elements covers both windows

  function fail(text) {
    const m = $('message');
    m.textContent = text;
    m.hidden = false;
    $('loading').hidden = true;
  }
  function notice(text) {
    notices.add(text);
    $('notice').textContent = Array.from(notices).join(' ');
  }

  // ---- message boxes: one at a time, in order ----
  const boxes = [];
  function showBox() {
    if (!$('box').hidden || boxes.length === 0) return;
    const b = boxes.shift();
    $('box-caption').textContent = b.caption;
    $('box-text').textContent = b.text;
    $('box').hidden = false;
    $('box-ok').focus();
  }
  function closeBox() {
    $('box').hidden = true;
    if (boxes.length) showBox(); else canvases[ring.active()].focus();
  }
  $('box-ok').addEventListener('click', closeBox);
  $('box').addEventListener('keydown', function (e) {
    if (e.key === 'Escape' || e.key === 'Enter') { e.preventDefault(); closeBox(); }
  });
  function messageBox(text, caption) {
    boxes.push({text: text, caption: caption});
    showBox();
  }

  // ---- the page's parts ----
  // The layer of elements over the canvases: what its elements do is what a click there does, and the keyboard's
  // ring follows the one a screen reader moves to.
  const layer = window.createMoxLayer(canvases, {
    click: function (w, control) {
      const el = layer.element(w, control);
      if (!program || !el) return;
      ring.click(w, layer.rect(w, control));
      placement.keepListInView(w);
      if (document.activeElement === el) ring.show(w, false);
    },
    choose: function (w, control, item) { if (program) program._moxsim_choose(w, control, item); },
    focused: function (w, control) { if (program) ring.layerFocused(w, control); },
  });
  const placement = window.createMoxPlacement(canvases, layer, {partMade: bindPointer, fetch2x: boot.fetch2x});
  const ring = window.createMoxRing(canvases, layer, placement);
  const storage = window.createMoxStorage(boot.stock, {
    notice: notice,
    messageBox: messageBox,
    ready: function () { return !!program; },
    checkSave: function (bytes) { return program.withBytes(bytes, program._moxsim_check_save) !== 0; },
  });
  const figurer = window.createMoxFigurer({notice: notice, module: boot.wasm});

  // ---- the pointer on a window's canvas, or on one of its parts (`el`) ----
  function bindPointer(w, el) {
    const c = canvases[w];
    const at = function (e) { return placement.toCanvas(w, el, e); };
    // The DOM's buttons: 0 left, 1 middle, 2 right.
    const button = function (e) {
      return e.button === 2 ? Button.Right : e.button === 1 ? Button.Middle : Button.Left;
    };
    el.addEventListener('pointerdown', function (e) {
      ring.pointerDown(w);
      const p = at(e);
      // A touch has no hover before it: the pointer arrives where it presses.
      program._moxsim_pointer(w, Pointer.Move, p[0], p[1], Button.Left);
      program._moxsim_pointer(w, Pointer.Down, p[0], p[1], button(e));
      if (el.setPointerCapture) try { el.setPointerCapture(e.pointerId); } catch (err) { /* no capture */ }
      c.focus({preventScroll: true});
      placement.keepListInView(w);
      e.preventDefault();
    });
    el.addEventListener('pointermove', function (e) {
      const p = at(e);
      program._moxsim_pointer(w, Pointer.Move, p[0], p[1], Button.Left);
    });
    el.addEventListener('pointerup', function (e) {
      const p = at(e);
      program._moxsim_pointer(w, Pointer.Up, p[0], p[1], button(e));
      if (e.pointerType !== 'mouse') program._moxsim_pointer(w, Pointer.Leave, 0, 0, Button.Left);
      placement.keepListInView(w);
    });
    el.addEventListener('pointercancel', function () {
      program._moxsim_pointer(w, Pointer.Leave, 0, 0, Button.Left);
    });
    el.addEventListener('pointerleave', function (e) {
      if (e.pointerType === 'mouse') program._moxsim_pointer(w, Pointer.Leave, 0, 0, Button.Left);
    });
    el.addEventListener('contextmenu', function (e) { e.preventDefault(); });
    let wheel = 0;
    el.addEventListener('wheel', function (e) {
      wheel += e.deltaMode === 1 ? e.deltaY * 40 : e.deltaMode === 2 ? e.deltaY * 400 : e.deltaY;
      const steps = Math.trunc(wheel / 40);
      if (steps === 0) { e.preventDefault(); return; }
      wheel -= steps * 40;
      const p = at(e);
      if (program._moxsim_wheel(w, p[0], p[1], -steps)) e.preventDefault(); else wheel = 0;
    }, {passive: false});
  }

  // Esc anywhere in the page (outside a box) goes to the window in front.
  document.addEventListener('keydown', function (e) {
    if (!program || e.key !== 'Escape' || !$('box').hidden || canvases.indexOf(e.target) >= 0) return;
    program._moxsim_key(plannerShown ? 1 : 0, Key.Escape);
  });
  $('close-planner').addEventListener('click', function () { program && program._moxsim_close_planner(); });

  // ---- offline: the service worker (sw.js) keeps this version of the site whole; a page opened from a file has
  // none. Registered once the page has its own files, so that a new version taking over serves nothing to it. ----
  function keepOffline() {
    if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol)) return;
    navigator.serviceWorker.register('sw.js').then(function (registration) {
      const ready = function (worker) {
        if (!navigator.serviceWorker.controller) return;  // the first visit: this is the version running
        notice('新版本已经下载好，下次打开本页时使用。');
        worker.postMessage('take-over');
      };
      if (registration.waiting) ready(registration.waiting);
      registration.addEventListener('updatefound', function () {
        const worker = registration.installing;
        if (worker) worker.addEventListener('statechange', function () { if (worker.state === 'installed') ready(worker); });
      });
    }).catch(function () { /* the page runs as before, with the network */ });
  }

  // ---- what the program asks of the page ----
  const moxPage = {
    // The program's box for a save another tab's stock refused says why.
    messageBox: function (text, caption) { messageBox(storage.explain(text), caption); },
    fatal: function (text) { fail('模拟器遇到无法继续的错误：' + text + ' 请刷新页面重新开始。'); },
    store: storage.store,
    download: storage.download,
    // 复制规划链接: the link onto the clipboard, at once while the click still counts as the user's (a hidden
    // text area and the copy command), else through the asynchronous clipboard.
    copyText: function (text) {
      const area = document.createElement('textarea');
      area.value = text;
      area.setAttribute('readonly', '');
      area.style.position = 'fixed';
      area.style.opacity = '0';
      document.body.appendChild(area);
      area.select();
      let copied = false;
      try { copied = document.execCommand('copy'); } catch (e) { copied = false; }
      area.remove();
      if (!copied && navigator.clipboard && window.isSecureContext) {
        navigator.clipboard.writeText(text).catch(function () {});
        copied = true;
      }
      lastCopied = text;
      return copied;
    },
    pictureFailed: function (name) { notice('有图片没能显示（' + name + '），那里会空着。'); },
    windowSize: placement.setSize,
    parts: placement.setParts,
    bannerMoved: placement.bannerMoved,
    plannerShown: function (shown) {
      plannerShown = shown;
      $('planner-window').hidden = !shown;
      placement.layout();
      ring.focusWindow(shown ? 1 : 0);  // the program moved the keyboard, not a Tab
    },
    // What changed in a window for the layer, and how long the program took to find it.
    semantics: layer.report,
    // A banner said for screen readers (the same words again are said again).
    announce: function (text) {
      const said = $('said');
      said.textContent = '';
      setTimeout(function () { said.textContent = text; }, 50);
    },
    firstFrameDrawn: function () {
      // The first frame is not kept waiting for the layer of elements: it is made right after, a window at a time.
      moxNextTask().then(function () {
        program._moxsim_start_layer(0);
        return moxNextTask();
      }).then(function () {
        program._moxsim_start_layer(1);
        layerMade = true;
      });
      document.body.classList.add('ready');
      document.documentElement.dataset.moxsim = 'ready';
      boot.startWhole();
      if (boot.startPack) boot.startPack();
      placement.placeOver();
    },
    figure: function (question) { return figurer.figure(question); },
    // A text needs a character only the whole faces have: they come at once.
    fontsNeeded: function () { boot.startWhole(); },
    // A picture only the pack has is wanted before the first frame: the pack comes at once.
    packNeeded: function () {
      if (boot.startPack) boot.startPack();
    },
  };

  async function start() {
    if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
      fail('这个浏览器不支持 WebAssembly，模拟器无法运行。请换用新版的 Chrome、Edge、Firefox 或 Safari，或者下载桌面版。');
      return;
    }
    // The storage, the fonts and the program load side by side; the program draws its first frame (and the
    // browser decodes its pictures) while the fonts still arrive, and shows it once they are there.
    const single = location.protocol === 'file:';
    const stored = storage.load();
    const noFonts = function () { notice('字体没能载入，文字改用系统自带的字体显示，样子会和桌面版略有不同。'); };
    const fonts = boot.fonts.then(function (loaded) {
      if (!loaded) noFonts();
      return loaded;
    });
    const notLoaded = function (e) { fail('模拟器的程序文件没能载入（' + e + '）。请检查网络后刷新页面。'); };
    try {
      await boot.glue;
      program = await window.createMoxsim({
        moxPage: moxPage,
        moxCanvases: canvases,
        // The module the page's head began compiling; fetched again as bytes where the host sends it with a type
        // other than application/wasm (compiling while it streams in needs that type).
        instantiateWasm: boot.wasm && function (imports, done) {
          moxsimInstantiate(boot.wasm, imports, done).catch(notLoaded);
          return {};
        },
        onAbort: function (what) { fail('模拟器遇到无法继续的错误，请刷新页面重新开始。（' + what + '）'); },
      });
      performance.mark('moxsim-program');
      placement.attach(program);
      ring.attach(program);
      figurer.attach(program);
      // Start-up goes in pieces, each a task of its own, so that none holds the page's thread for long.
      await moxNextTask();
    } catch (e) {
      if (single) fail('模拟器的程序文件没能载入。请在解压后的文件夹里运行一个本地网页服务器（例如 python3 -m http.server），再打开它给出的地址。');
      else notLoaded(e);
      return;
    }
    if (boot.first) {
      program.moxRuntime.takeFirst(boot.first);
      boot.first.catch(function () {
        notice('模拟器的部分图片没能载入，用到它们的地方会空着。请检查网络后刷新页面。');
      });
    }
    if (boot.pack) {
      program.moxRuntime.takePack(boot.pack);
      boot.pack.catch(function () {
        notice('模拟器的部分图片和声音没能载入，用到它们的地方会空着、没有声音。请检查网络后刷新页面。');
      });
    }
    program._moxsim_prepare();
    const saved = await stored;
    await moxNextTask();
    if (!storage.available()) notice('这个浏览器不让本页保存数据（可能开着隐私模式）：关掉页面后库存不会保留，点「保存」会提示失败。要留住库存，先点「保存」，再点「导出存档」存成文件。');
    // The plans pinned side by side are kept beside the stock.
    const plans = await storage.read(storage.PLANS);
    [[storage.SAVE, saved], [storage.PLANS, plans]].forEach(function (file) {
      if (!file[1]) return;
      program.withBytes(file[1], function (where, size) {
        program.ccall('moxsim_put_file', null, ['string', 'number', 'number'], [file[0], where, size]);
      });
    });
    program._moxsim_start();
    performance.mark('moxsim-started');
    await moxNextTask();
    openLink();
    window.addEventListener('hashchange', openLink);
    canvases.forEach(function (c, w) {
      bindPointer(w, c);
      ring.bindKeys(w);
    });
    placement.start();
    // The keys reach the main window from the start (a ring shows only once Tab is used).
    ring.focusWindow(0);
    // Until the whole faces are there (or failed), text needing them waits; without the first ones, nothing does.
    const firstLoaded = await fonts;
    performance.mark('moxsim-fonts');
    const waiting = firstLoaded && boot.firstChars;
    program.moxRuntime.fontsLoaded(waiting);
    const whole = !waiting ? null : boot.wholeFonts.then(function (loaded) {
      if (!loaded) noFonts();
      program.moxRuntime.fontsLoaded();
    });
    // Only a page with every file there is kept for offline use.
    Promise.all([Promise.resolve(boot.pack).catch(function () {}), whole]).then(keepOffline);
  }
  // A link's fragment asks the planner a question. It is data: read by the program, which opens the planner on it
  // or says here that it could not.
  function openLink() {
    const fragment = location.hash.slice(1);
    if (!fragment) return;
    const read = program.ccall('moxsim_open_link', 'number', ['string'], [fragment.slice(0, 4096)]);
    if (!read) notice('这个链接里的规划没能读出来，页面照常打开。');
  }
  window.moxsimPage = {
    // For tests: the text 复制规划链接 last copied.
    copied: function () { return lastCopied; },
    // For tests and benchmarks: what runs in the page now.
    state: function () {
      const r = program && program.moxRuntime;
      return {ready: !!r && r.firstFrameDrawn() && layerMade && !layer.busy(),
              drawing: !!r && (r.drawing() || layer.busy()), timers: r ? r.runningTimers() : 0,
              frames: r ? r.frames() : 0, audio: r ? r.audioState() : 'none', sounds: r ? r.soundsPlayed() : 0,
              planner: plannerShown, firstFrameAwaitedPack: r ? r.firstFrameAwaitedPack() : 0,
              sharp: placement.sharpLanded(), inParts: placement.inParts(), figuring: figurer.where()};
    },
    // The longest a timer tick, a frame and an answer of the planner's worker held the page's thread since the
    // last call.
    longest: function () {
      const out = program.moxRuntime.takeLongest();
      out.figured = figurer.takeLongest();
      return out;
    },
    // For tests: both windows drawn again from scratch, their pictures' copies made anew.
    redraw: function () {
      program.moxRuntime.forgetSizes();
      program._moxsim_redraw_all();
    },
    // The times each update of a window's layer took since the last call, in ms.
    layerCost: function (w) { return layer.takeCost(w); },
    // The least CSS pixels per layout pixel any control of a window's keyboard ring is shown at.
    smallestShown: function (w) {
      return Math.min.apply(null, ring.controls(w).map(function (r) { return placement.toPage(w, r)[2] / r[2]; }));
    },
    // The open list of a window's drop-down in the viewport's CSS pixels, [x, y, width, height], or null.
    openList: placement.openList,
    // The controls of a window's keyboard ring, by index in its form.
    controls: function (w) { return ring.controls(w).map(function (r) { return r.control; }); },
    // A control by name: its window (0 main, 1 planner, -1 none), place in layout pixels, CSS pixels per layout
    // pixel, whether a user can reach it, and its caption; where it shows, its middle in the viewport and the CSS
    // pixels per layout pixel it is shown at.
    describe: function (name) {
      const d = program.UTF8ToString(program.ccall('moxsim_describe', 'number', ['string'], [name])).split(' ');
      const w = +d[0];
      const out = {window: w, x: +d[1], y: +d[2], width: +d[3], height: +d[4], reachable: d[5] === '1',
                   caption: d.slice(6).join(' '), fit: w >= 0 ? program.moxRuntime.fit(w) : 1};
      const at = w >= 0 && placement.toPage(w, [out.x, out.y, out.width, out.height]);
      if (at) {
        const box = canvases[w].parentNode.getBoundingClientRect();
        out.middle = [box.left + at[0] + at[2] / 2, box.top + at[1] + at[3] / 2];
        out.shownAt = out.width ? at[2] / out.width : 0;
      }
      return out;
    },
  };
  start();
})();
