// The planner's figuring off the page's thread: a second instance of the program's module, in a Web Worker. The
// page sends the module it compiled (nothing is downloaded or compiled again; where it has none, the worker
// fetches the wasm itself), then questions as bytes; each answer goes back as bytes (ui/plan_wire.h). The luck's
// walks stay in this instance between questions.
//
// The page carries this script among its own (where it only defines moxsimInstantiate and moxsimWorker). A page
// opened from a file may start no worker from a file's address: it starts the worker from a Blob of their text,
// and sends the text of the program it runs, which carries its module (moxsim-single.js), in pieces: the worker
// fetches nothing.
/* exported moxsimInstantiate, moxsimWorker */

// The program's module instantiated with its imports and handed to `done` (as Emscripten's instantiateWasm wants):
// from `compiled` (the module, or a promise of it) or, where there is none or it failed to compile, from the wasm's
// bytes fetched again (a host that sends the wasm with a type other than application/wasm fails the streaming
// compile). The page starts its program through it, and this worker its own. Returns the promise of the instance.
function moxsimInstantiate(compiled, imports, done) {
  return Promise.resolve(compiled).then(function (module) {
    if (!module) throw new Error('no compiled module');
    return module;
  }).then(function (module) {
    return WebAssembly.instantiate(module, imports).then(function (instance) { done(instance, module); });
  }, function () {
    return fetch('moxsim.wasm').then(function (r) {
      if (!r.ok) throw new Error('moxsim.wasm: ' + r.status);
      return r.arrayBuffer();
    }).then(function (bytes) {
      return WebAssembly.instantiate(bytes, imports);
    }).then(function (r) { done(r.instance, r.module); });
  });
}

function moxsimWorker(fromPage) {
  'use strict';
  if (!fromPage) importScripts('moxsim.js');
  const pieces = [];  // the program's text from the page, as it comes
  let program = null;
  const waiting = [];

  function answer(question) {
    const bytes = program.withBytes(question, function (where, size) {
      const at = program._moxsim_answer(where, size);
      return program.HEAPU8.slice(at, at + program._moxsim_answer_size());
    });
    postMessage({answer: bytes}, [bytes.buffer]);
  }

  // `module`: the page's compiled module; null: fetch the wasm; 'inside': the program's script carries it.
  function start(module) {
    const settings = {
      moxPage: {},
      onAbort: function (what) { postMessage({failed: String(what)}); },
    };
    if (module !== 'inside') {
      settings.instantiateWasm = function (imports, done) {
        moxsimInstantiate(module, imports, done).catch(function (e) { postMessage({failed: String(e)}); });
        return {};
      };
    }
    createMoxsim(settings).then(function (p) {
      program = p;
      postMessage({ready: true});
      while (waiting.length) answer(waiting.shift());
    }, function (e) { postMessage({failed: String(e)}); });
  }

  onmessage = function (e) {
    if ('program' in e.data) {
      pieces.push(e.data.program);
      // The whole text, run at the worker's global scope: it defines createMoxsim.
      if (e.data.last) (0, eval)('var createMoxsim = (' + pieces.splice(0).join('') + ')();');
    } else if ('module' in e.data) start(e.data.module);
    else if (program) answer(e.data.question);
    else waiting.push(e.data.question);
  };
}
if (typeof document === 'undefined') moxsimWorker(false);
