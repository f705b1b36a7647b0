// The page's thread in a DevTools trace with a CPU profile taken beside it: its tasks of some length and what ran
// in each. Shared by the benchmarks that ask where a long task came from.
'use strict';

// The tracing categories that show the page's tasks and what the browser did in them (style, layout, paint, GC).
const CATEGORIES = ['devtools.timeline', 'disabled-by-default-devtools.timeline', 'toplevel', 'blink.user_timing',
                    'v8', 'disabled-by-default-v8.gc'];

// The page's thread: of the renderers' main threads, the one whose tasks took longest in all.
function mainThread(events) {
  const renderers = new Set(events.filter((e) => e.ph === 'M' && e.name === 'thread_name' &&
                                                 e.args.name === 'CrRendererMain').map((e) => e.pid + ':' + e.tid));
  const busiest = new Map();
  for (const t of events) {
    const key = t.pid + ':' + t.tid;
    if (t.name === 'RunTask' && t.ph === 'X' && renderers.has(key)) busiest.set(key, (busiest.get(key) || 0) + t.dur);
  }
  return [...busiest.entries()].sort((a, b) => b[1] - a[1])[0][0];
}

// The longest task of the page's thread, in ms.
function longestTask(events) {
  const main = mainThread(events);
  return events.reduce((most, e) => (e.name === 'RunTask' && e.ph === 'X' && e.pid + ':' + e.tid === main
    ? Math.max(most, e.dur / 1000) : most), 0);
}

// The tasks of the page's thread of `min` ms or more, in order, each with what ran in it: the trace's own events
// (inclusive ms by name: a FunctionCall holds what the script did, UpdateLayoutTree and Layout what it made the
// browser do) and the profile's functions (inclusive ms).
function longTasks(events, profile, min) {
  const main = mainThread(events);
  const onMain = events.filter((e) => e.pid + ':' + e.tid === main && e.ph === 'X');
  const tasks = onMain.filter((e) => e.name === 'RunTask' && e.dur >= min * 1000).sort((a, b) => a.ts - b.ts);
  const byId = new Map(profile.nodes.map((n) => [n.id, n]));
  const parent = new Map();
  for (const n of profile.nodes) for (const c of n.children || []) parent.set(c, n.id);
  let time = profile.startTime;
  const when = profile.samples.map((s, i) => (time += profile.timeDeltas[i]));
  const generic = /^(\(.*\)|js-to-wasm.*|wasm-to-js.*|Module\._.*|ccall|)$/;
  return tasks.map((t) => {
    const inside = new Map();
    for (const e of onMain) {
      if (e === t || e.ts < t.ts || e.ts + e.dur > t.ts + t.dur) continue;
      inside.set(e.name, (inside.get(e.name) || 0) + e.dur / 1000);
    }
    const functions = new Map();
    profile.samples.forEach((s, i) => {
      if (when[i] < t.ts || when[i] > t.ts + t.dur) return;
      const seen = new Set();
      for (let id = s; id !== undefined; id = parent.get(id)) {
        const name = byId.get(id).callFrame.functionName;
        if (generic.test(name) || seen.has(name)) continue;
        seen.add(name);
        functions.set(name, (functions.get(name) || 0) + (profile.timeDeltas[i + 1] || 100) / 1000);
      }
    });
    const top = (m, n) => [...m.entries()].sort((a, b) => b[1] - a[1]).slice(0, n);
    return {ts: t.ts, ms: t.dur / 1000, events: top(inside, 8), functions: top(functions, 6)};
  });
}

const listed = (pairs) => pairs.map(([k, v]) => k.slice(0, 40) + ' ' + v.toFixed(1)).join(', ');

module.exports = {CATEGORIES, mainThread, longestTask, longTasks, listed};
