// The program's script and its module start loading (and the module compiling) while the rest of the page does;
// the page's own script takes them over. A page opened from a file runs the script that carries its module inside.
(function () {
  var single = location.protocol === 'file:';
  // The module's size as built (the line may carry it compressed): the page's loading line says how far it is.
  var MODULE_BYTES = /*bytes:moxsim.wasm*/0;

  function loadingLine(text) {
    var line = document.getElementById('loading');
    if (line && !document.body.classList.contains('ready')) line.textContent = text;
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

  // The heavy files start once the page's own text is on the screen: on a slow line the visitor reads what this
  // is and how far it has loaded while they come, rather than a blank page while they share the line with it.
  // A page in a background tab draws nothing, so a timer starts them there.
  window.moxAfterPaint = new Promise(function (resolve) {
    requestAnimationFrame(function () { setTimeout(resolve, 0); });
    setTimeout(resolve, 200);
  });
  var after = function (start) { return window.moxAfterPaint.then(start); };

  window.moxGlue = after(function () { return new Promise(function (resolve, reject) {
    var s = document.createElement('script');
    s.src = single ? 'moxsim-single.js' : 'moxsim.js';
    s.onload = resolve;
    s.onerror = reject;
    document.head.appendChild(s);
  }); });
  window.moxGlue.catch(function () {});
  if (!single && window.WebAssembly && WebAssembly.compileStreaming && window.fetch) {
    window.moxWasm = after(function () { return WebAssembly.compileStreaming(fetch('moxsim.wasm').then(counted)); });
    window.moxWasm.then(function () { loadingLine('正在准备第一个画面…'); }, function () {});
  }
  // What the first frame does not show (sounds, banners, help pages, the planner's pictures) comes once the first
  // frame is drawn, not sharing a slow line with what it needs; or at once if a picture is asked for that only
  // the pack has.
  if (!single && window.fetch) {
    var startPack;
    window.moxPack = new Promise(function (resolve) { startPack = resolve; }).then(function () {
      return fetch('moxsim-assets.bin');
    }).then(function (r) {
      if (!r.ok) throw new Error('moxsim-assets.bin: ' + r.status);
      return r.arrayBuffer();
    });
    window.moxPack.catch(function () {});
    window.moxStartPack = function () { startPack(); };
    // The 2x set, for a screen of more than one device pixel per CSS pixel, comes after the pack: a player needs
    // its sounds and banners before sharper pictures.
    window.moxFetch2x = function () {
      return window.moxPack.catch(function () {}).then(function () {
        return fetch('moxsim-2x.bin');
      }).then(function (r) {
        if (!r.ok) throw new Error('moxsim-2x.bin: ' + r.status);
        return r.arrayBuffer();
      });
    };
  }
})();
