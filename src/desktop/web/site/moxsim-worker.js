// The planner's figuring off the page's thread: a second instance of the program's module, in a Web Worker. The
// page sends the module it compiled (nothing is downloaded or compiled again; where it has none, the worker
// fetches the wasm itself), then questions as bytes; each answer goes back as bytes (ui/plan_wire.h). The luck's
// walks stay in this instance between questions.
'use strict';
importScripts('moxsim.js');

let program = null;
const waiting = [];

function answer(question) {
  const where = program._malloc(Math.max(1, question.length));
  program.HEAPU8.set(question, where);
  const at = program._moxsim_answer(where, question.length);
  const bytes = program.HEAPU8.slice(at, at + program._moxsim_answer_size());
  program._free(where);
  postMessage({answer: bytes}, [bytes.buffer]);
}

function start(module) {
  createMoxsim({
    moxPage: {},
    instantiateWasm: function (imports, done) {
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
    },
    onAbort: function (what) { postMessage({failed: String(what)}); },
  }).then(function (p) {
    program = p;
    postMessage({ready: true});
    while (waiting.length) answer(waiting.shift());
  }, function (e) { postMessage({failed: String(e)}); });
}

onmessage = function (e) {
  if ('module' in e.data) start(e.data.module);
  else if (program) answer(e.data.question);
  else waiting.push(e.data.question);
};
