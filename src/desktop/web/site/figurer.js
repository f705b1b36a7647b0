// The planner's figuring: a second instance of the program in a Web Worker (moxsim-worker.js), started at the
// first question (when the planner first opens), so the first frame pays nothing for it. A page opened from a
// file starts it from a Blob of the scripts' text (a browser starts no worker from a file). Where no worker can
// start, or it stops, the program figures on the page's thread, and says so.
window.createMoxFigurer = function (page) {
  'use strict';
  // page: {notice(text), module (the promise of the module the page compiled, or none)}.
  let program = null;
  const FIGURED_HERE = '规划在本页线程里计算，可能稍有卡顿。';
  let figurer = null;  // the worker (or its start from a file): {post, terminate}; false once there is none to be had
  function figureHere(gone) {
    if (figurer) figurer.terminate();
    figurer = false;
    page.notice(FIGURED_HERE);
    // Questions out with a worker that stopped are asked again on this thread.
    if (gone && program) program._moxsim_figure_here();
  }
  let longestFigured = 0;  // the longest an answer took to show, in ms (for benchmarks)
  function figured(bytes) {
    const start = performance.now();
    program.withBytes(bytes, program._moxsim_figured);
    longestFigured = Math.max(longestFigured, performance.now() - start);
  }
  // The worker of a page opened from a file: the worker's script from a Blob of its text, then the program's
  // (moxsim-single.js, which carries its module) as the page holds it, in pieces a task each (the text is 3 MB:
  // copied for the worker at once, it held the page's thread for 10-25 ms). Resolves to the worker and what its
  // module is.
  const PIECE = 1 << 18;  // characters
  function workerFromFile() {
    return Promise.resolve().then(function () {
      const url = URL.createObjectURL(new Blob([moxsimInstantiate.toString() + '\n' + moxsimWorker.toString() +
                                                '\nmoxsimWorker(true);\n'], {type: 'text/javascript'}));
      const worker = new Worker(url);
      worker.addEventListener('message', function () { URL.revokeObjectURL(url); }, {once: true});
      const text = window.moxsimSingle.toString();
      let at = 0;
      const send = function () {
        worker.postMessage({program: text.slice(at, at + PIECE), last: at + PIECE >= text.length});
        at += PIECE;
        return at < text.length ? moxNextTask().then(send) : {worker: worker, module: 'inside'};
      };
      return send();
    });
  }
  function startFigurer() {
    const fromFile = location.protocol === 'file:';
    // Throws where the browser has no worker for the page.
    const started = fromFile ? workerFromFile() : Promise.resolve({worker: new Worker('moxsim-worker.js'),
                                                                    module: page.module});
    let worker = null;
    const queued = [];
    const handle = {
      post: function (message, transfer) {
        if (worker) worker.postMessage(message, transfer); else queued.push(message);
      },
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

  return {
    attach: function (p) { program = p; },
    // A planner question for the worker, as bytes (ui/plan_wire.h); false when there is no worker to take it.
    figure: figure,
    // Where the questions are figured: 'worker', 'page', or 'none' before the first.
    where: function () { return figurer ? 'worker' : figurer === false ? 'page' : 'none'; },
    // The longest an answer took to show since the last call, in ms.
    takeLongest: function () {
      const out = longestFigured;
      longestFigured = 0;
      return out;
    },
  };
};
