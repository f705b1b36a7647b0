// Resolves in a task of its own, soon: the page's start and the runtime's work go in pieces, so that none holds
// the page's thread for long. A timer's zero delay grows to 4 ms when timers nest, and to a second in a tab in the
// background; scheduler.yield, where there is one, resumes ahead of other tasks. One function for the page and the
// module's runtime: the build puts it in front of boot.js, and the module carries it (--pre-js).
/* exported moxNextTask */
function moxNextTask() {
  if (globalThis.scheduler && typeof globalThis.scheduler.yield === 'function') return globalThis.scheduler.yield();
  return new Promise(function (resolve) {
    const channel = new MessageChannel();
    channel.port1.onmessage = function () { channel.port1.close(); resolve(); };
    channel.port2.postMessage(0);
  });
}
