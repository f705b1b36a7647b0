// Resolves in a task of its own, soon: the page's start and the runtime's work go in pieces, so that none holds
// the page's thread for long. A timer's zero delay grows to 4 ms when timers nest, and to a second in a tab in the
// background. scheduler.yield, where there is one, resumes ahead of the tasks already waiting, as a piece of work
// cut in pieces should; `behind`: after them (the page's head starts the fonts behind the module's script: ahead of
// it, they made the first frame come 15-20 ms later). One function for the page and the module's runtime: the
// build puts it in front of boot.js, and the module carries it (--pre-js).
/* exported moxNextTask */
function moxNextTask(behind) {
  const scheduler = globalThis.scheduler;
  if (!behind && scheduler && typeof scheduler.yield === 'function') return scheduler.yield();
  return new Promise(function (resolve) {
    const channel = new MessageChannel();
    channel.port1.onmessage = function () { channel.port1.close(); resolve(); };
    channel.port2.postMessage(0);
  });
}
