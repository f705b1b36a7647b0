// The planner's figuring off the page's thread: a second instance of the program's module, in a Web Worker. The
// page sends the module it compiled (nothing is downloaded or compiled again; where it has none, the worker
// fetches the wasm itself), then questions as bytes; each answer goes back as bytes (ui/plan_wire.h). The luck's
// walks stay in this instance between questions.
//
// A page opened from a file may start no worker from a file's address: it loads this script as one of its own
// (where it only defines moxsimWorker), starts the worker from a Blob of moxsimWorker's text, and sends the text
// of the program it runs, which carries its module (moxsim-single.js), in pieces: the worker fetches nothing.
/* exported moxsimWorker */
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
        const made = module
          ? WebAssembly.instantiate(module, imports).then(function (instance) { done(instance, module); })
          : fetch('moxsim.wasm').then(function (r) {
            if (!r.ok) throw new Error('moxsim.wasm: ' + r.status);
            return r.arrayBuffer();
          }).then(function (bytes) {
            return WebAssembly.instantiate(bytes, imports);
          }).then(function (r) { done(r.instance, r.module); });
        made.catch(function (e) { postMessage({failed: String(e)}); });
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
