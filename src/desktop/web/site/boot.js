// What the program needs first starts here, while the rest of the page loads: the stored stock, then (once the
// page's text is on the screen) the program's script and module and the fonts. The page's own script takes them
// over from window.moxBoot. A page opened from a file runs the script that carries its module inside. The build
// puts next-task.js in front of this script (moxNextTask).
(function () {
  var single = location.protocol === 'file:';
  // The module's size as built (the line may carry it compressed): the page's loading line says how far it is.
  var MODULE_BYTES = /*bytes:moxsim.wasm*/0;

  // The line changes once a frame at most (the module's bytes may come in hundreds of pieces).
  var lineText = null;
  function loadingLine(text) {
    if (lineText === null) {
      requestAnimationFrame(function () {
        var line = document.getElementById('loading');
        if (line && !document.body.classList.contains('ready')) line.textContent = lineText;
        lineText = null;
      });
    }
    lineText = text;
  }

  // The module's bytes counted as they arrive, for the loading line, from a copy of the response: the compiler
  // gets the browser's own stream (one made here would pass every byte through this thread, and the browser would
  // keep no compiled code to reuse on the next visit).
  function counted(response) {
    if (!response.ok || !response.body || !MODULE_BYTES) return response;
    var reader = response.clone().body.getReader(), got = 0, shown = -1;
    (function next() {
      reader.read().then(function (part) {
        if (part.done) return;
        got += part.value.length;
        var share = Math.min(99, Math.floor(got * 100 / MODULE_BYTES));
        if (share !== shown) { shown = share; loadingLine('正在载入模拟器… ' + share + '%'); }
        next();
      }, function () {});
    })();
    return response;
  }

  // The stored stock is asked for at once: the browser takes tens of milliseconds to open its storage and to give
  // the lock that lets one tab at a time work on the stock, time the program's loading covers. The page's script
  // takes both over.
  var boot = window.moxBoot = {};
  var stock = boot.stock = {LOCK: 'moxsim-stock', TAKE: 'moxsim-take-over'};
  // The storage (IndexedDB), or null when the browser gives the page none.
  stock.open = function () {
    return new Promise(function (resolve) {
      var request;
      try {
        request = indexedDB.open('moxsim', 1);
      } catch (e) {
        resolve(null);
        return;
      }
      request.onupgradeneeded = function () { request.result.createObjectStore('files'); };
      request.onsuccess = function () { resolve(request.result); };
      request.onerror = function () { resolve(null); };
      request.onblocked = function () { resolve(null); };
    });
  };
  stock.store = stock.open();
  // The lock: `held` resolves true once this tab has it, false when another tab keeps it (a tab that reloads may
  // find its previous page still holding it for a moment: it waits a little); `lost` resolves if a tab that asked
  // to take over takes it from this one. No locks in this browser: `held` is null.
  stock.held = null;
  if (navigator.locks && navigator.locks.request) {
    var steal = false;
    try {
      steal = sessionStorage.getItem(stock.TAKE) === '1';
      sessionStorage.removeItem(stock.TAKE);
    } catch (e) { /* no session storage: asked for as any tab's */ }
    var lose;
    stock.lost = new Promise(function (resolve) { lose = resolve; });
    stock.held = new Promise(function (resolve) {
      var wait = new AbortController();
      var timer = setTimeout(function () { wait.abort(); }, 300);
      var holding = false;
      navigator.locks.request(stock.LOCK, steal ? {steal: true} : {signal: wait.signal}, function () {
        clearTimeout(timer);
        holding = true;
        resolve(true);
        return new Promise(function () {});  // held for as long as the page lives
      }).catch(function () {
        if (holding) lose(); else resolve(false);
      });
    });
  }

  // The heavy files start once the page's own text is on the screen: on a slow line the visitor reads what this
  // is and how far it has loaded while they come, rather than a blank page while they share the line with it.
  // A page in a background tab draws nothing, so a timer starts them there.
  var afterPaint = new Promise(function (resolve) {
    requestAnimationFrame(function () { setTimeout(resolve, 0); });
    setTimeout(resolve, 200);
  });
  var after = function (start) { return afterPaint.then(start); };

  // A script of the site, run once it is there.
  var script = function (src) {
    return new Promise(function (resolve, reject) {
      var s = document.createElement('script');
      s.src = src;
      s.onload = resolve;
      s.onerror = reject;
      document.head.appendChild(s);
    });
  };
  boot.glue = after(function () { return script(single ? 'moxsim-single.js' : 'moxsim.js'); });
  boot.glue.catch(function () {});
  // The faces the program draws with, as WOFF2 files, or inside fonts.js for a page opened from a file (which may
  // not fetch fonts). The first four, asked for in the task after the module's, hold what the main window shows (the
  // sans-serif ones the characters of boot.firstChars); the whole sans-serif faces come after the first frame, or
  // sooner if a text asks for a character the first lack. Each resolves false when its faces did not load.
  var FACES = [['MoxSans', 'normal', 'Sans-Regular.woff2'], ['MoxSans', 'bold', 'Sans-Bold.woff2'],
               ['MoxSerif', 'normal', 'Serif-Regular.woff2'], ['MoxSerif', 'bold', 'Serif-Bold.woff2']];
  var WHOLE = [['MoxSansAll', 'normal', 'Sans-Regular-all.woff2'], ['MoxSansAll', 'bold', 'Sans-Bold-all.woff2']];
  boot.firstChars = /*first-chars*/'';
  var warm = null;
  // Faces as [family, weight, file] from their sources (urls, or their bytes), each used once as it arrives.
  function loadFaces(faces, sources) {
    if (!warm) warm = document.createElement('canvas').getContext('2d');
    return Promise.all(faces.map(function (f, i) {
      return new FontFace(f[0], sources[i], {weight: f[1]}).load().then(function (face) {
        document.fonts.add(face);
        // A face's first use in a canvas takes tens of milliseconds (the browser makes it ready to draw): each
        // is used once as it arrives, in a task of its own, while the program still loads.
        warm.font = (f[1] === 'bold' ? 'bold ' : '') + '16px ' + f[0];
        warm.measureText('Ag');  // text every face has
      });
    })).then(function () { return true; }, function () { return false; });
  }
  var urls = function (faces) { return faces.map(function (f) { return 'url(' + f[2] + ')'; }); };
  var startWhole;
  var wholeAsked = new Promise(function (resolve) { startWhole = resolve; });
  boot.startWhole = function () { startWhole(); };
  var fonts = window.FontFace && document.fonts;
  boot.fonts = after(function () { return moxNextTask(true); }).then(function () {
    if (!fonts) return false;
    if (!single) return loadFaces(FACES, urls(FACES));
    // From a file the whole faces and the serif ones come at once, inside fonts.js.
    return script('fonts.js').then(function () {
      var bytes = window.MOX_FONTS.map(function (f) {
        return Uint8Array.from(atob(f.data), function (c) { return c.charCodeAt(0); });
      });
      boot.firstChars = null;
      return loadFaces(WHOLE.concat(FACES.slice(2)), bytes);
    }, function () { return false; });
  });
  // The whole faces only after the first (a page opened from a file has them with the serif ones).
  boot.wholeFonts = single ? boot.fonts : wholeAsked.then(function () { return boot.fonts; }).then(function (first) {
    return first && loadFaces(WHOLE, urls(WHOLE));
  });

  if (!single && window.WebAssembly && WebAssembly.compileStreaming && window.fetch) {
    boot.wasm = after(function () { return WebAssembly.compileStreaming(fetch('moxsim.wasm').then(counted)); });
    boot.wasm.then(function () { loadingLine('正在准备第一个画面…'); }, function () {});
  }
  // A file of the site as bytes (rejects when it does not come whole).
  var bytesOf = function (name) {
    return fetch(name).then(function (r) {
      if (!r.ok) throw new Error(name + ': ' + r.status);
      return r.arrayBuffer();
    });
  };
  // A pack's pictures (moxsim-first.bin: "MOXPACK1", then each entry's name and bytes, each after its length in
  // 4 bytes, little-endian) handed to the browser to decode, a few a task (each Blob costs the page's thread a
  // little): name -> promise of an ImageBitmap. Empty where the browser decodes no Blobs, and past the first
  // damaged entry.
  function decodePack(buffer) {
    var bitmaps = new Map(), queue = [];
    if (typeof createImageBitmap !== 'function') return bitmaps;
    var view = new DataView(buffer), bytes = new Uint8Array(buffer), at = 8;
    var magic = String.fromCharCode.apply(null, bytes.subarray(0, 8));
    var entry = function (data) {
      return new Promise(function (resolve) {
        queue.push(function () { resolve(createImageBitmap(new Blob([data]))); });
      });
    };
    while (magic === 'MOXPACK1' && at + 4 <= bytes.length) {
      var nameSize = view.getUint32(at, true);
      if (at + 8 + nameSize > bytes.length) break;
      var name = new TextDecoder().decode(bytes.subarray(at + 4, at + 4 + nameSize));
      var size = view.getUint32(at + 4 + nameSize, true);
      at += 8 + nameSize;
      if (at + size > bytes.length) break;
      var bitmap = entry(bytes.subarray(at, at + size));
      bitmap.catch(function () {});
      bitmaps.set(name, bitmap);
      at += size;
    }
    (function handOver() {
      var end = performance.now() + 6;
      while (queue.length && performance.now() < end) queue.shift()();
      if (queue.length) moxNextTask().then(handOver);
    })();
    return bitmaps;
  }
  // The first frame's pictures, beside the module: decoded as soon as they are there, while the module still
  // comes. {buffer, bitmaps} (decodePack).
  if (!single && window.fetch) {
    boot.first = after(function () { return bytesOf('moxsim-first.bin'); }).then(function (buffer) {
      return {buffer: buffer, bitmaps: decodePack(buffer)};
    });
    boot.first.catch(function () {});
  }
  // What the first frame does not show (sounds, banners, help pages, the planner's pictures) comes once the first
  // frame is drawn, not sharing a slow line with what it needs; or at once if a picture is asked for that only
  // the pack has.
  if (!single && window.fetch) {
    var startPack;
    boot.pack = new Promise(function (resolve) { startPack = resolve; }).then(function () {
      return bytesOf('moxsim-assets.bin');
    });
    boot.pack.catch(function () {});
    boot.startPack = function () { startPack(); };
    // The 2x set, for a screen of more than one device pixel per CSS pixel, comes after the pack: a player needs
    // its sounds and banners before sharper pictures.
    boot.fetch2x = function () {
      return boot.pack.catch(function () {}).then(function () { return bytesOf('moxsim-2x.bin'); });
    };
  }
})();
