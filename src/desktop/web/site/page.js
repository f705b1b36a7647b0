// The page around the program: it checks what the browser can do, loads the fonts and the stored save file,
// starts the program, passes the browser's events to it, lays out its two windows and keeps the save file in
// IndexedDB. The program's own logic and looks are all in the wasm (web_exports.cpp, web_window.cpp, web_runtime.js).
(function () {
  'use strict';
  const $ = function (id) { return document.getElementById(id); };
  const SAVE = 'MOXdata';
  const MAX_SAVE_BYTES = 64 * 1024;  // Files::kMaxFileBytes
  const canvases = [$('moxsim-main'), $('moxsim-planner')];
  const sizes = [null, null];
  let program = null;
  let store = null;       // IndexedDB, or null when the browser gives the page no storage
  let saved = null;       // the stored save file's bytes, as last written
  let unsaved = null;     // a save file the browser's storage refused, newer than `saved`
  let activeWindow = 0;   // the window keys go to
  let plannerShown = false;
  let lastCopied = '';  // what 复制规划链接 copied last
  const notices = new Set();
  const layerCost = [[], []];  // ms each update of a window's layer took (for benchmarks)
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
    if (boxes.length) showBox(); else canvases[activeWindow].focus();
  }
  $('box-ok').addEventListener('click', closeBox);
  $('box').addEventListener('keydown', function (e) {
    if (e.key === 'Escape' || e.key === 'Enter') { e.preventDefault(); closeBox(); }
  });
  function messageBox(text, caption) {
    boxes.push({text: text, caption: caption});
    showBox();
  }

  // ---- storage: one IndexedDB store of files by name; each write is one transaction ----
  // The storage the page's head began opening; opened anew once the browser cleared it.
  let opened = window.moxStock.store;
  function openStore() {
    const s = opened || window.moxStock.open();
    opened = null;
    return s.then(function (db) { return db && watchStore(db); });
  }
  function readStored(name) {
    return new Promise(function (resolve) {
      try {
        const r = store.transaction('files', 'readonly').objectStore('files').get(name);
        r.onsuccess = function () { resolve(r.result instanceof Uint8Array ? r.result : null); };
        r.onerror = function () { resolve(null); };
      } catch (e) {
        resolve(null);
      }
    });
  }
  // The browser may clear the page's storage while it is open (the user clears the site's data): the stock on
  // screen stays, the next save stores it again.
  let storeLost = false;
  function watchStore(s) {
    const lost = function () {
      if (store !== s) return;
      try { s.close(); } catch (e) { /* closed already */ }
      store = null;
      storeLost = true;
      notice('浏览器清除了本页保存的数据。模拟器里的库存还在：点「保存」会重新存进浏览器，也可以点「导出存档」存成文件。');
    };
    s.onclose = lost;
    s.onversionchange = lost;
    return s;
  }
  // Stores the file as one step: either the transaction completes and the new bytes are there, or the previous
  // ones stay. Resolves true or false; a failure says in the page why, and what to do.
  function writeStored(name, bytes) {
    const reopened = !store && storeLost ? openStore().then(function (s) { store = s; }) : Promise.resolve();
    return reopened.then(function () {
      return new Promise(function (resolve) {
        const failed = function (error) {
          if (error && error.name === 'QuotaExceededError') {
            notice('浏览器给本页的存储空间满了，刚才的库存没能保存（之前保存的还在）。请点「导出存档」把现在的库存存成文件，再清理浏览器的空间。');
          } else if (store && holding !== false) {
            notice('库存没能写进浏览器的存储（之前保存的还在）。请点「导出存档」把现在的库存存成文件。');
          }
          resolve(false);
        };
        if (!store || holding === false) { failed(null); return; }
        try {
          const t = store.transaction('files', 'readwrite');
          t.objectStore('files').put(bytes, name);
          t.oncomplete = function () {
            if (name === SAVE) { saved = bytes; unsaved = null; }
            // Ask the browser not to clear the stock when it runs short of room (it may decline).
            if (navigator.storage && navigator.storage.persist) navigator.storage.persist().catch(function () {});
            resolve(true);
          };
          t.onerror = t.onabort = function () { failed(t.error); };
        } catch (e) {
          failed(e);
        }
      });
    });
  }

  // ---- one stock across tabs: one tab works on it at a time (a Web Lock the browser frees when the tab closes or
  // crashes); another says so and offers to take over, which loads the newest stored stock. A tab that waits
  // takes over by itself when the working one closes. ----
  let holding = null;  // true: this tab works on the stock; false: another does; null: the browser has no locks
  function stockElsewhere(text) {
    holding = false;
    $('tabs-text').textContent = text;
    $('tabs').hidden = false;
  }
  // Resolves once the page's head has the lock or knows another tab keeps it.
  function holdStock() {
    const lock = window.moxStock;
    if (!lock.held) return Promise.resolve();
    const forever = new Promise(function () {});  // a lock is held for as long as the page lives
    return lock.held.then(function (held) {
      if (held) {
        holding = true;
        lock.lost.then(function () {
          stockElsewhere('库存已交给另一个标签页使用：这里的改动不再保存。要回到这里，点「在这里使用」，会载入最新保存的库存。');
        });
        return;
      }
      stockElsewhere('库存正在另一个标签页里使用：这里可以看、可以试，但改动不会保存。要在这里继续，点「在这里使用」，会载入最新保存的库存，那边就不再保存。');
      // When that tab closes, this one takes over with the stock it left.
      navigator.locks.request(lock.LOCK, function () { takeOver(); return forever; }).catch(function () {});
    });
  }
  function takeOver() {
    try { sessionStorage.setItem(window.moxStock.TAKE, '1'); } catch (e) { /* the lock is asked for as any tab's */ }
    location.reload();
  }
  $('take-over').addEventListener('click', takeOver);
  let refusedForTab = false;  // a save was refused because another tab works on the stock
  const ELSEWHERE = {
    save: '库存正在另一个标签页里使用，这里的改动没有保存。要在这里保存，先点页面上方的「在这里使用」。',
    load: '库存正在另一个标签页里使用，这里不能导入存档。要在这里导入，先点页面上方的「在这里使用」。',
  };

  function download(name, bytes) {
    try {
      // Binary, so that no browser adds ".txt" to the name.
      const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
      const a = document.createElement('a');
      a.href = url;
      a.download = name;
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
      return true;
    } catch (e) {
      return false;
    }
  }

  // ---- layout: the windows fitted to the viewport at the device pixel ratio. Where a window would be shown at
  // less than NARROW of its layout size (a phone held upright), it is shown in its parts (the program's
  // placement, src/ui/placement.h) one under another, each as wide as the screen; the drawing is the same and the
  // pointer, the keyboard's ring and the layer map through the same placement. ----
  const NARROW = 0.85;
  const MOST = 1.5;  // a part fills the width up to this many CSS pixels a layout pixel
  const parts = [[], []];        // each window's parts as the program gives them: [x, y, width, height]
  const placed = [null, null];   // a window shown in parts: [{x, y, w, h, fit, canvas}]; null: shown whole
  const partCanvases = [[], []];
  const origins = [[0, 0], [0, 0]];  // each window's canvas in its element, in CSS pixels
  function partCanvas(w, i) {
    const list = partCanvases[w];
    while (list.length <= i) {
      const c = document.createElement('canvas');
      c.className = 'part';
      c.dataset.part = list.length;
      c.setAttribute('aria-hidden', 'true');
      const before = list.length ? list[list.length - 1].nextSibling : canvases[w].nextSibling;
      canvases[w].parentNode.insertBefore(c, before);
      bindPointer(w, c);
      list.push(c);
    }
    return list[i];
  }
  function layout() {
    if (!program || !sizes[0]) return;
    const stage = $('stage');
    const width = document.documentElement.clientWidth;
    const main = sizes[0], planner = sizes[1] || main;
    const narrow = (width - 24) / main.width < NARROW;
    document.body.classList.toggle('narrow', narrow);
    // In parts the windows go from edge to edge.
    const room = Math.max(200, narrow ? width : width - 24);
    const side = room >= main.width + planner.width + 12;
    stage.classList.toggle('overlay', !side);
    const ratio = window.devicePixelRatio || 1;
    for (let w = 0; w < 2; ++w) {
      if (!sizes[w]) continue;
      const whole = w === 1 && side ? 1 : Math.min(1, room / sizes[w].width);
      const inParts = whole < NARROW && parts[w].length > 0;
      placed[w] = inParts ? parts[w].map(function (r, i) {
        return {x: r[0], y: r[1], w: r[2], h: r[3], fit: Math.min(MOST, room / r[2]), canvas: partCanvas(w, i)};
      }) : null;
      partCanvases[w].forEach(function (c, i) { c.hidden = !inParts || i >= parts[w].length; });
      canvases[w].parentNode.classList.toggle('stacked', inParts);
      // The window is drawn for its largest part; the browser shows the others smaller.
      const fit = inParts ? Math.max.apply(null, placed[w].map(function (p) { return p.fit; })) : whole;
      const key = fit + ':' + ratio;
      if (sizes[w].key !== key) {
        sizes[w].key = key;
        program.moxRuntime.setScale(w, fit, ratio);
      }
      program.moxRuntime.place(w, placed[w]);
      if (w === 0) program._moxsim_banner_apart(inParts ? 1 : 0);
    }
    // Nothing lies over the windows before their first frame: reading where they are would lay the page out once
    // more before it (the first frame reads it).
    if (program.moxRuntime.firstFrameDrawn()) placeOver();
  }
  // The layer and the banner placed over the windows as the page lays them out.
  function placeOver() {
    for (let w = 0; w < 2; ++w) {
      if (!sizes[w]) continue;
      // Where the canvases lie in the window's element, read once here: reading it for each element of the layer
      // would lay the page out again for every one.
      const c = canvases[w];
      origins[w] = [c.offsetLeft, c.offsetTop];
      (placed[w] || []).forEach(function (p) { p.left = p.canvas.offsetLeft; p.top = p.canvas.offsetTop; });
      layer.place(w, function (r) { return toPage(w, r); });
    }
    placeBanner();
    sharpen();
  }
  window.addEventListener('resize', layout);
  // A panel that opens over a window shown in parts comes in place of the parts under it: the page scrolls to it,
  // and goes back to where the player was (`y`, before the parts changed) when it closes.
  const panels = [null, null];  // the panel's part ("x,y,width,height") and where the page was
  function keepInView(w, was, y) {
    if (!placed[w] || !was.length) {
      panels[w] = null;
      return;
    }
    const now = parts[w].map(String), before = was.map(String);
    if (panels[w] && !now.includes(panels[w].part)) {
      window.scrollTo(0, panels[w].y);
      panels[w] = null;
      return;
    }
    const i = now.findIndex(function (r) { return !before.includes(r); });
    if (i < 0 || !placed[w][i] || before.every(function (r) { return now.includes(r); })) return;
    panels[w] = {part: now[i], y: panels[w] ? panels[w].y : y};
    placed[w][i].canvas.scrollIntoView({block: 'start'});
  }
  // The part of a window shown in parts that a layout rectangle's middle lies in; none while a panel over the
  // columns hides the part it lies in.
  function partOf(w, r) {
    const x = r[0] + r[2] / 2, y = r[1] + r[3] / 2;
    return placed[w].find(function (p) { return x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h; }) || null;
  }
  // A layout rectangle [x, y, width, height] of a window as CSS pixels in its element (the window's div); null
  // where it does not show.
  function toPage(w, r) {
    if (!placed[w]) {
      const f = program.moxRuntime.fit(w);
      return [origins[w][0] + r[0] * f, origins[w][1] + r[1] * f, r[2] * f, r[3] * f];
    }
    const p = partOf(w, r);
    return p && [p.left + (r[0] - p.x) * p.fit, p.top + (r[1] - p.y) * p.fit, r[2] * p.fit, r[3] * p.fit];
  }
  // A pointer event on a window's canvas or one of its parts, as a point on the window's canvas's own pixels.
  function toCanvas(w, el, e) {
    const r = el.getBoundingClientRect();
    const x = e.clientX - r.left, y = e.clientY - r.top;
    if (el === canvases[w] || !placed[w]) return program.moxRuntime.toCanvas(w, x, y);
    const p = placed[w][+el.dataset.part], k = program.moxRuntime.factor(w);
    return [Math.floor((p.x + x / p.fit) * k), Math.floor((p.y + y / p.fit) * k)];
  }
  // The open list of a window's drop-down in the viewport's CSS pixels, [x, y, width, height], or null.
  function openList(w) {
    const text = program.UTF8ToString(program._moxsim_open_list(w));
    if (!text) return null;
    const r = toPage(w, text.split(' ').map(Number)), box = canvases[w].parentNode.getBoundingClientRect();
    return r && [box.left + r[0], box.top + r[1], r[2], r[3]];
  }
  // An open drop-down list is brought into the viewport.
  function keepListInView(w) {
    const r = openList(w);
    if (!r) return;
    const top = r[1], bottom = top + r[3];
    if (bottom > window.innerHeight) window.scrollBy(0, Math.min(top, bottom - window.innerHeight + 8));
    else if (top < 0) window.scrollBy(0, top - 8);
  }
  // The banner of a main window shown in parts lies whole over the part the player sees most of, across its
  // width, in the middle of what shows of it, sliding as it does over the whole window.
  function placeBanner() {
    const b = program.moxRuntime.bannerCanvas();
    const at = program.moxRuntime.bannerPlace();
    if (!placed[0] || !at || b.hidden) {
      if (b.parentNode) b.remove();
      return;
    }
    if (b.parentNode !== canvases[0].parentNode) canvases[0].parentNode.appendChild(b);
    let best = null, most = -1;
    for (const p of placed[0]) {
      const r = p.canvas.getBoundingClientRect();
      const seen = Math.min(r.bottom, window.innerHeight) - Math.max(r.top, 0);
      if (p.canvas.width > 0 && r.height >= r.width * b.height / b.width && seen > most) { best = p; most = seen; }
    }
    if (!best) return;
    const r = best.canvas.getBoundingClientRect(), box = canvases[0].parentNode.getBoundingClientRect();
    const width = best.w * best.fit, height = width * b.height / b.width, scale = width / at.width;
    const middle = (Math.max(r.top, 0) + Math.min(r.bottom, window.innerHeight)) / 2;
    const top = Math.min(Math.max(middle - height / 2 + at.fromRest * scale, r.top), r.bottom - height);
    b.style.left = best.left + 'px';
    b.style.top = (top - box.top) + 'px';
    b.style.width = width + 'px';
    b.style.height = height + 'px';
  }
  window.addEventListener('scroll', function () { if (program && placed[0]) placeBanner(); }, {passive: true});
  // At more than one device pixel per CSS pixel the 2x set follows the first frame (and the pack).
  let sharp = null;  // the 2x set's promise, once asked for
  let sharpLanded = false;
  function sharpen() {
    if (sharp || !window.moxFetch2x || (window.devicePixelRatio || 1) <= 1 || !program.moxRuntime.firstFrameDrawn()) {
      return;
    }
    sharp = program.moxRuntime.take2x(window.moxFetch2x()).then(function () { sharpLanded = true; },
                                                                 function () { /* the 1x pictures stay */ });
  }
  function watchRatio() {
    // A change of the device pixel ratio (zoom, another screen) redraws at the new one.
    const q = matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
    const again = function () { layout(); watchRatio(); };
    if (q.addEventListener) q.addEventListener('change', again, {once: true});
  }

  // ---- the keyboard inside a window: Tab and Shift+Tab go from one control a click reaches to the next (a ring
  // shows which), Enter and Space click it; an open list takes the arrows and Enter first ----
  const focusIndex = [-1, -1];
  const rings = canvases.map(function (c) {
    const ring = document.createElement('div');
    ring.className = 'focus-ring';
    ring.hidden = true;
    c.parentNode.appendChild(ring);
    return ring;
  });
  // Each control of the ring as [x, y, width, height] in layout pixels, with its control's index: those that show.
  function keyboardControls(w) {
    const text = program.UTF8ToString(program._moxsim_keyboard_controls(w));
    return text ? text.split(';').map(function (r) {
      const v = r.split(' ').map(Number);
      const rect = v.slice(1);
      rect.control = v[0];
      return rect;
    }).filter(function (r) { return !placed[w] || partOf(w, r); }) : [];
  }
  function inWindow(w, el) { return el === canvases[w] || layer.contains(w, el); }
  // The ring where the keyboard is; with `follow`, the keyboard's focus goes to the ring's element of the layer
  // (the canvas when it has none).
  function showRing(w, follow) {
    const list = keyboardControls(w);
    if (focusIndex[w] >= list.length) focusIndex[w] = list.length - 1;
    const r = list[focusIndex[w]];
    if (follow && r) {
      const el = layer.element(w, r.control) || canvases[w];
      if (el !== document.activeElement) {
        pointerFocus = true;
        el.focus({preventScroll: true});
        pointerFocus = false;
      }
    }
    const ring = rings[w];
    ring.hidden = !r || !inWindow(w, document.activeElement);
    if (ring.hidden) return;
    const at = toPage(w, r);
    ring.style.left = (at[0] - 2) + 'px';
    ring.style.top = (at[1] - 2) + 'px';
    ring.style.width = at[2] + 'px';
    ring.style.height = at[3] + 'px';
  }
  function clickAt(w, r) {
    const k = program.moxRuntime.factor(w);
    const x = Math.floor((r[0] + r[2] / 2) * k), y = Math.floor((r[1] + r[3] / 2) * k);
    program._moxsim_pointer(w, 0, x, y, 0);
    program._moxsim_pointer(w, 1, x, y, 0);
    program._moxsim_pointer(w, 2, x, y, 0);
  }
  function clickFocused(w) {
    const r = keyboardControls(w)[focusIndex[w]];
    if (!r) return;
    clickAt(w, r);
    showRing(w, false);
  }

  // ---- the layer's changes, a few milliseconds a task: the answer of a plan changes tens of its elements (made
  // anew where the figuring emptied them), which took 5-15 ms in one piece ----
  const LAYER_BUDGET = 4;  // ms
  const layerWork = [];  // each window's reports in order: {w, lines left, ms spent on it}
  function changeLayer() {
    const start = performance.now();
    const changed = new Set();
    while (layerWork.length && (changed.size === 0 || performance.now() < start + LAYER_BUDGET)) {
      const job = layerWork[0];
      const began = performance.now();
      job.lines.splice(0, layer.update(job.w, job.lines, start + LAYER_BUDGET));
      job.spent += performance.now() - began;
      changed.add(job.w);
      if (job.lines.length) continue;
      layerWork.shift();
      layerCost[job.w].push(job.spent);
      if (layerCost[job.w].length > 4096) layerCost[job.w].splice(0, 2048);
    }
    changed.forEach(function (w) { layer.layOut(w); });
    if (layerWork.length) program.moxRuntime.nextTask().then(changeLayer);
  }

  // ---- the layer of elements over the canvases (createMoxLayer): what they do is what a click there does, and
  // the keyboard ring follows the one a screen reader moves to ----
  const layer = window.createMoxLayer(canvases, {
    click: function (w, control) {
      const el = layer.element(w, control);
      if (!program || !el) return;
      clickAt(w, layer.rect(w, control));
      keepListInView(w);
      if (document.activeElement === el) showRing(w, false);
    },
    choose: function (w, control, item) { if (program) program._moxsim_choose(w, control, item); },
    focused: function (w, control) {
      if (!program) return;
      activeWindow = w;
      if (control < 0) {
        // The element the keyboard was on went away (a slot emptied): the window keeps the keyboard.
        pointerFocus = true;
        canvases[w].focus({preventScroll: true});
        pointerFocus = false;
      } else {
        const at = keyboardControls(w).findIndex(function (r) { return r.control === control; });
        if (at >= 0) focusIndex[w] = at;
      }
      showRing(w, false);
    },
  });

  // ---- input ----
  const KEYS = {ArrowUp: 0, ArrowDown: 1, Enter: 2, Escape: 3};
  let pointerFocus = false;
  // The pointer on a window's canvas, or on one of its parts (`el`).
  function bindPointer(w, el) {
    const c = canvases[w];
    const at = function (e) { return toCanvas(w, el, e); };
    const button = function (e) { return e.button === 2 ? 2 : e.button === 1 ? 1 : 0; };
    el.addEventListener('pointerdown', function (e) {
      activeWindow = w;
      pointerFocus = true;
      focusIndex[w] = -1;
      rings[w].hidden = true;
      const p = at(e);
      // A touch has no hover before it: the pointer arrives where it presses.
      program._moxsim_pointer(w, 0, p[0], p[1], 0);
      program._moxsim_pointer(w, 1, p[0], p[1], button(e));
      if (el.setPointerCapture) try { el.setPointerCapture(e.pointerId); } catch (err) { /* no capture */ }
      c.focus({preventScroll: true});
      keepListInView(w);
      e.preventDefault();
    });
    el.addEventListener('pointermove', function (e) {
      const p = at(e);
      program._moxsim_pointer(w, 0, p[0], p[1], 0);
    });
    el.addEventListener('pointerup', function (e) {
      const p = at(e);
      program._moxsim_pointer(w, 2, p[0], p[1], button(e));
      if (e.pointerType !== 'mouse') program._moxsim_pointer(w, 3, 0, 0, 0);
      keepListInView(w);
    });
    el.addEventListener('pointercancel', function () { program._moxsim_pointer(w, 3, 0, 0, 0); });
    el.addEventListener('pointerleave', function (e) {
      if (e.pointerType === 'mouse') program._moxsim_pointer(w, 3, 0, 0, 0);
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
  function bindInput(w) {
    const c = canvases[w];
    bindPointer(w, c);
    // Keys on the canvas or on an element of its layer.
    c.parentNode.addEventListener('keydown', function (e) {
      if (!inWindow(w, e.target)) return;
      const onLayer = e.target !== c;
      if (e.key === 'Tab' && !e.altKey && !e.ctrlKey && !e.metaKey) {
        const next = focusIndex[w] < 0 && e.shiftKey ? keyboardControls(w).length - 1
                                                     : focusIndex[w] + (e.shiftKey ? -1 : 1);
        // Past either end, Tab leaves the window for the page's next control.
        focusIndex[w] = next >= 0 && next < keyboardControls(w).length ? next : -1;
        if (focusIndex[w] >= 0) {
          e.preventDefault();
        } else if (onLayer) {
          pointerFocus = true;
          c.focus({preventScroll: true});
          pointerFocus = false;
        }
        showRing(w, true);
        return;
      }
      // An element of the layer clicks itself on Enter and Space, and a select chooses with the arrows.
      if (onLayer && (e.key === 'Enter' || e.key === ' ' ||
                      (e.target.tagName === 'SELECT' && e.key !== 'Escape'))) return;
      const key = KEYS[e.key];
      if (key !== undefined && program._moxsim_key(w, key)) {
        e.preventDefault();
        keepListInView(w);
      } else if ((e.key === 'Enter' || e.key === ' ') && focusIndex[w] >= 0) {
        e.preventDefault();
        clickFocused(w);
      }
    });
    c.addEventListener('focus', function () {
      activeWindow = w;
      // Arriving by the keyboard, the ring starts on the first control.
      const byKeyboard = !pointerFocus;
      if (byKeyboard && focusIndex[w] < 0) focusIndex[w] = 0;
      pointerFocus = false;
      showRing(w, byKeyboard);
    });
    c.parentNode.addEventListener('focusout', function (e) {
      if (!inWindow(w, e.target) || (e.relatedTarget && inWindow(w, e.relatedTarget))) return;
      rings[w].hidden = true;
      program._moxsim_focus_lost(w);
    });
  }
  // Esc anywhere in the page (outside a box) goes to the window in front.
  document.addEventListener('keydown', function (e) {
    if (!program || e.key !== 'Escape' || !$('box').hidden || canvases.indexOf(e.target) >= 0) return;
    program._moxsim_key(plannerShown ? 1 : 0, 3);
  });
  $('close-planner').addEventListener('click', function () { program && program._moxsim_close_planner(); });

  // ---- the save file's buttons ----
  $('export-save').addEventListener('click', function () {
    if (!unsaved && !saved) {
      messageBox('还没有存档可导出：先在模拟器里点「保存」。', '导出存档');
      return;
    }
    download(SAVE, unsaved || saved);
  });
  $('import-save').addEventListener('change', function () {
    const input = this;
    const file = input.files && input.files[0];
    input.value = '';
    if (!file || !program) return;
    if (holding === false) {
      messageBox(ELSEWHERE.load, '导入存档');
      return;
    }
    const refuse = function () {
      messageBox('「' + file.name + '」不是 moxsim 的存档，什么也没有载入，库存没有改动。', '导入存档');
    };
    if (file.size > MAX_SAVE_BYTES) { refuse(); return; }
    file.arrayBuffer().then(function (buffer) {
      const bytes = new Uint8Array(buffer);
      const where = program._malloc(Math.max(1, bytes.length));
      program.HEAPU8.set(bytes, where);
      const ok = program._moxsim_check_save(where, bytes.length);
      program._free(where);
      if (!ok) { refuse(); return; }
      writeStored(SAVE, bytes).then(function (written) {
        if (!written) {
          messageBox('存档没能写进浏览器的存储，库存没有改动。', '导入存档');
          return;
        }
        // The program starts again with the imported stock, as a desktop program started beside that file.
        location.reload();
      });
    }, refuse);
  });

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

  // ---- the planner's figuring: a second instance of the program in a Web Worker (moxsim-worker.js), started at
  // the first question (when the planner first opens), so the first frame pays nothing for it. A page opened from
  // a file starts it from a Blob of the scripts' text (a browser starts no worker from a file). Where no worker
  // can start, or it stops, the program figures on the page's thread, and says so.
  const FIGURED_HERE = '规划在本页线程里计算，可能稍有卡顿。';
  let figurer = null;  // the worker (or its start from a file): {post, terminate}; false once there is none to be had
  function figureHere(gone) {
    if (figurer) figurer.terminate();
    figurer = false;
    notice(FIGURED_HERE);
    // Questions out with a worker that stopped are asked again on this thread.
    if (gone && program) program._moxsim_figure_here();
  }
  let longestFigured = 0;  // the longest an answer took to show, in ms (for benchmarks)
  function figured(bytes) {
    const start = performance.now();
    const where = program._malloc(Math.max(1, bytes.length));
    program.HEAPU8.set(bytes, where);
    program._moxsim_figured(where, bytes.length);
    program._free(where);
    longestFigured = Math.max(longestFigured, performance.now() - start);
  }
  // The worker of a page opened from a file: the worker's script from a Blob of its text, then the program's
  // (moxsim-single.js, which carries its module) as the page holds it, in pieces a task each (the text is 3 MB:
  // copied for the worker at once, it held the page's thread for 10-25 ms). Resolves to the worker and what its
  // module is.
  const PIECE = 1 << 18;  // characters
  function workerFromFile() {
    return window.moxScript('moxsim-worker.js').then(function () {
      const url = URL.createObjectURL(new Blob([window.moxsimWorker.toString() + '\nmoxsimWorker(true);\n'],
                                               {type: 'text/javascript'}));
      const worker = new Worker(url);
      worker.addEventListener('message', function () { URL.revokeObjectURL(url); }, {once: true});
      const text = window.moxsimSingle.toString();
      let at = 0;
      const send = function () {
        worker.postMessage({program: text.slice(at, at + PIECE), last: at + PIECE >= text.length});
        at += PIECE;
        return at < text.length ? program.moxRuntime.nextTask().then(send) : {worker: worker, module: 'inside'};
      };
      return send();
    });
  }
  function startFigurer() {
    const fromFile = location.protocol === 'file:';
    // Throws where the browser has no worker for the page.
    const started = fromFile ? workerFromFile() : Promise.resolve({worker: new Worker('moxsim-worker.js'),
                                                                    module: window.moxWasm});
    let worker = null;
    const queued = [];
    const handle = {
      post: function (message, transfer) { if (worker) worker.postMessage(message, transfer); else queued.push(message); },
      terminate: function () { if (worker) worker.terminate(); worker = null; },
    };
    started.then(function (s) {
      if (figurer !== handle) { s.worker.terminate(); return; }
      worker = s.worker;
      worker.onmessage = function (e) {
        if (e.data.answer) figured(e.data.answer);
        else if (e.data.failed) figureHere(true);
      };
      worker.onerror = function () { figureHere(true); };
      // The module this page compiled goes to the worker: it downloads and compiles nothing again.
      Promise.resolve(s.module).catch(function () { return null; }).then(function (module) {
        if (worker !== s.worker) return;
        worker.postMessage({module: module || null});
        while (queued.length) worker.postMessage(queued.shift());
      });
    }).catch(function () { if (figurer === handle) figureHere(true); });
    return handle;
  }
  function figure(question) {
    if (figurer === false) return false;
    if (!figurer) {
      try {
        figurer = startFigurer();
      } catch (e) {
        figureHere(false);
        return false;
      }
    }
    figurer.post({question: question}, [question.buffer]);
    return true;
  }

  // ---- what the program asks of the page ----
  const moxPage = {
    // The program's box for a save another tab's stock refused says why.
    messageBox: function (text, caption) {
      messageBox(refusedForTab ? text + '\n' + ELSEWHERE.save : text, caption);
      refusedForTab = false;
    },
    fatal: function (text) { fail('模拟器遇到无法继续的错误：' + text + ' 请刷新页面重新开始。'); },
    store: function (name, bytes) {
      refusedForTab = holding === false;
      // A save file the browser would not keep is kept for 导出存档.
      return writeStored(name, bytes).then(function (ok) {
        if (!ok && name === SAVE) unsaved = bytes;
        return ok;
      });
    },
    download: download,
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
    windowSize: function (w, width, height) { sizes[w] = {width: width, height: height}; },
    // The parts a window is shown in on a narrow screen, as the program has them now: "x y width height" joined
    // by ';'.
    parts: function (w, text) {
      const was = parts[w];
      parts[w] = text ? text.split(';').map(function (r) { return r.split(' ').map(Number); }) : [];
      // Laid out once the program's call returns (this comes from inside a frame).
      Promise.resolve().then(function () {
        const y = window.scrollY;
        layout();
        keepInView(w, was, y);
      });
    },
    bannerMoved: function () { if (placed[0]) placeBanner(); },
    plannerShown: function (shown) {
      plannerShown = shown;
      $('planner-window').hidden = !shown;
      layout();
      pointerFocus = true;  // the program moved the keyboard, not a Tab
      if (shown) { activeWindow = 1; canvases[1].focus({preventScroll: true}); }
      else { activeWindow = 0; canvases[0].focus({preventScroll: true}); }
      pointerFocus = false;
    },
    // What changed in a window for the layer, and how long the program took to find it.
    semantics: function (w, text, ms) {
      layerWork.push({w: w, lines: text ? text.split('\x1e') : [], spent: ms});
      if (layerWork.length === 1) changeLayer();
    },
    // A banner said for screen readers (the same words again are said again).
    announce: function (text) {
      const said = $('said');
      said.textContent = '';
      setTimeout(function () { said.textContent = text; }, 50);
    },
    firstFrame: function () {
      // The first frame is not kept waiting for the layer of elements: it is made right after, a window at a time.
      program.moxRuntime.nextTask().then(function () {
        program._moxsim_start_layer(0);
        return program.moxRuntime.nextTask();
      }).then(function () {
        program._moxsim_start_layer(1);
        layerMade = true;
      });
      document.body.classList.add('ready');
      document.documentElement.dataset.moxsim = 'ready';
      if (window.moxStartPack) window.moxStartPack();
      placeOver();
    },
    figure: figure,
    // A picture only the pack has is wanted before the first frame: the pack comes at once.
    packNeeded: function () {
      if (window.moxStartPack) window.moxStartPack();
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
    const stored = Promise.all([openStore(), holdStock()]).then(function (r) {
      const s = r[0];
      store = s;
      return s ? readStored(SAVE) : null;
    });
    const fonts = window.moxFonts.then(function (loaded) {
      if (!loaded) notice('字体没能载入，文字改用系统自带的字体显示，样子会和桌面版略有不同。');
    });
    const notLoaded = function (e) { fail('模拟器的程序文件没能载入（' + e + '）。请检查网络后刷新页面。'); };
    try {
      await window.moxGlue;
      program = await window.createMoxsim({
        moxPage: moxPage,
        moxCanvases: canvases,
        // The module the page's head began compiling; fetched again as bytes where the host sends it with a type
        // other than application/wasm (compiling while it streams in needs that type).
        instantiateWasm: window.moxWasm && function (imports, done) {
          window.moxWasm.then(function (module) {
            return WebAssembly.instantiate(module, imports).then(function (instance) { done(instance, module); });
          }, function () {
            return fetch('moxsim.wasm').then(function (r) {
              if (!r.ok) throw new Error('moxsim.wasm: ' + r.status);
              return r.arrayBuffer();
            }).then(function (bytes) {
              return WebAssembly.instantiate(bytes, imports);
            }).then(function (r) { done(r.instance, r.module); });
          }).catch(notLoaded);
          return {};
        },
        onAbort: function (what) { fail('模拟器遇到无法继续的错误，请刷新页面重新开始。（' + what + '）'); },
      });
      performance.mark('moxsim-program');
      // Start-up goes in pieces, each a task of its own, so that none holds the page's thread for long.
      await program.moxRuntime.nextTask();
    } catch (e) {
      if (single) fail('模拟器的程序文件没能载入。请在解压后的文件夹里运行一个本地网页服务器（例如 python3 -m http.server），再打开它给出的地址。');
      else notLoaded(e);
      return;
    }
    if (window.moxPack) {
      program.moxRuntime.takePack(window.moxPack);
      window.moxPack.catch(function () {
        notice('模拟器的部分图片和声音没能载入，用到它们的地方会空着、没有声音。请检查网络后刷新页面。');
      });
    }
    program._moxsim_prepare();
    saved = await stored;
    await program.moxRuntime.nextTask();
    if (!store) notice('这个浏览器不让本页保存数据（可能开着隐私模式）：关掉页面后库存不会保留，点「保存」会提示失败。要留住库存，先点「保存」，再点「导出存档」存成文件。');
    if (saved) {
      const where = program._malloc(Math.max(1, saved.length));
      program.HEAPU8.set(saved, where);
      program.ccall('moxsim_put_file', null, ['string', 'number', 'number'], [SAVE, where, saved.length]);
      program._free(where);
    }
    program._moxsim_start();
    performance.mark('moxsim-started');
    await program.moxRuntime.nextTask();
    openLink();
    window.addEventListener('hashchange', openLink);
    canvases.forEach(function (c, w) { bindInput(w); });
    layout();
    watchRatio();
    // The keys reach the main window from the start (a ring shows only once Tab is used).
    pointerFocus = true;
    canvases[0].focus({preventScroll: true});
    pointerFocus = false;
    await fonts;
    performance.mark('moxsim-fonts');
    program.moxRuntime.fontsLoaded();
    Promise.resolve(window.moxPack).catch(function () {}).then(keepOffline);
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
      return {ready: !!r && r.firstFrameDrawn() && layerMade && !layerWork.length,
              drawing: !!r && (r.drawing() || layerWork.length > 0), timers: r ? r.runningTimers() : 0, frames: r ? r.frames() : 0,
              audio: r ? r.audioState() : 'none', sounds: r ? r.soundsPlayed() : 0, planner: plannerShown,
              firstFrameAwaitedPack: r ? r.firstFrameAwaitedPack() : 0, sharp: sharpLanded,
              inParts: placed.map(function (p) { return p ? p.length : 0; }),
              figuring: figurer ? 'worker' : figurer === false ? 'page' : 'none'};
    },
    // The longest a timer tick, a frame and an answer of the planner's worker held the page's thread since the
    // last call.
    longest: function () {
      const out = program.moxRuntime.takeLongest();
      out.figured = longestFigured;
      longestFigured = 0;
      return out;
    },
    // For tests: both windows drawn again from scratch, their pictures' copies made anew.
    redraw: function () {
      program.moxRuntime.forgetSizes();
      program._moxsim_redraw_all();
    },
    // The times each update of a window's layer took since the last call, in ms.
    layerCost: function (w) { return layerCost[w].splice(0); },
    // The least CSS pixels per layout pixel any control of a window's keyboard ring is shown at.
    smallestShown: function (w) {
      return Math.min.apply(null, keyboardControls(w).map(function (r) { return toPage(w, r)[2] / r[2]; }));
    },
    // The open list of a window's drop-down in the viewport's CSS pixels, [x, y, width, height], or null.
    openList: openList,
    // The controls of a window's keyboard ring, by index in its form.
    controls: function (w) { return keyboardControls(w).map(function (r) { return r.control; }); },
    // A control by name: its window (0 main, 1 planner, -1 none), place in layout pixels, CSS pixels per layout
    // pixel, whether a user can reach it, and its caption; where it shows, its middle in the viewport and the CSS
    // pixels per layout pixel it is shown at.
    describe: function (name) {
      const d = program.UTF8ToString(program.ccall('moxsim_describe', 'number', ['string'], [name])).split(' ');
      const w = +d[0];
      const out = {window: w, x: +d[1], y: +d[2], width: +d[3], height: +d[4], reachable: d[5] === '1',
                   caption: d.slice(6).join(' '), fit: w >= 0 ? program.moxRuntime.fit(w) : 1};
      const at = w >= 0 && toPage(w, [out.x, out.y, out.width, out.height]);
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
