// The program's script and its module start loading (and the module compiling) while the rest of the page does;
// the page's own script takes them over. A page opened from a file runs the script that carries its module inside.
(function () {
  var single = location.protocol === 'file:';
  window.moxGlue = new Promise(function (resolve, reject) {
    var s = document.createElement('script');
    s.src = single ? 'moxsim-single.js' : 'moxsim.js';
    s.onload = resolve;
    s.onerror = reject;
    document.head.appendChild(s);
  });
  window.moxGlue.catch(function () {});
  if (!single && window.WebAssembly && WebAssembly.compileStreaming && window.fetch) {
    window.moxWasm = WebAssembly.compileStreaming(fetch('moxsim.wasm'));
    window.moxWasm.catch(function () {});
  }
  // What the first frame does not show comes after the module, not sharing the line with it.
  if (!single && window.fetch) {
    window.moxPack = (window.moxWasm || Promise.resolve()).catch(function () {}).then(function () {
      return fetch('moxsim-assets.bin');
    }).then(function (r) {
      if (!r.ok) throw new Error('moxsim-assets.bin: ' + r.status);
      return r.arrayBuffer();
    });
    window.moxPack.catch(function () {});
  }
})();
