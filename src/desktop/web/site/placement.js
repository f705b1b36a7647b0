// Where the page shows the program's two windows: fitted to the viewport at the device pixel ratio. Where a window
// would be shown at less than NARROW of its layout size (a phone held upright), it is shown in its parts (the
// program's placement, src/ui/placement.h) one under another, each as wide as the screen; the drawing is the same,
// and the pointer, the keyboard's ring and the layer map through the same placement (toPage, toCanvas, partOf).
// The banner of a main window shown in parts is placed here too, and the 2x pictures asked for once it is sharp.
window.createMoxPlacement = function (canvases, layer, page) {
  'use strict';
  // page: {partMade(w, canvas) (a part's canvas, made: the pointer is bound to it), fetch2x (boot.js's, or none)}.
  let program = null;
  const NARROW = 0.85;
  const MOST = 1.5;  // a part fills the width up to this many CSS pixels a layout pixel
  const sizes = [null, null];    // each window's layout size, {width, height}, and the scale it is drawn at
  const parts = [[], []];        // each window's parts as the program gives them: [x, y, width, height]
  const placed = [null, null];   // a window shown in parts: [{x, y, w, h, fit, canvas}]; null: shown whole
  const partCanvases = [[], []];
  const origins = [[0, 0], [0, 0]];  // each window's canvas in its element, in CSS pixels
  function partCanvas(w, i) {
    const list = partCanvases[w];
    while (list.length <= i) {
      const c = document.createElement('canvas');
      c.className = 'part';
      c.dataset.part = list.length;
      c.setAttribute('aria-hidden', 'true');
      const before = list.length ? list[list.length - 1].nextSibling : canvases[w].nextSibling;
      canvases[w].parentNode.insertBefore(c, before);
      page.partMade(w, c);
      list.push(c);
    }
    return list[i];
  }
  function layout() {
    if (!program || !sizes[0]) return;
    const stage = document.getElementById('stage');
    const width = document.documentElement.clientWidth;
    const main = sizes[0], planner = sizes[1] || main;
    const narrow = (width - 24) / main.width < NARROW;
    document.body.classList.toggle('narrow', narrow);
    // In parts the windows go from edge to edge.
    const room = Math.max(200, narrow ? width : width - 24);
    const side = room >= main.width + planner.width + 12;
    stage.classList.toggle('overlay', !side);
    const ratio = window.devicePixelRatio || 1;
    for (let w = 0; w < 2; ++w) {
      if (!sizes[w]) continue;
      const whole = w === 1 && side ? 1 : Math.min(1, room / sizes[w].width);
      const inParts = whole < NARROW && parts[w].length > 0;
      placed[w] = inParts ? parts[w].map(function (r, i) {
        return {x: r[0], y: r[1], w: r[2], h: r[3], fit: Math.min(MOST, room / r[2]), canvas: partCanvas(w, i)};
      }) : null;
      partCanvases[w].forEach(function (c, i) { c.hidden = !inParts || i >= parts[w].length; });
      canvases[w].parentNode.classList.toggle('stacked', inParts);
      // The window is drawn for its largest part; the browser shows the others smaller.
      const fit = inParts ? Math.max.apply(null, placed[w].map(function (p) { return p.fit; })) : whole;
      const key = fit + ':' + ratio;
      if (sizes[w].key !== key) {
        sizes[w].key = key;
        program.moxRuntime.setScale(w, fit, ratio);
      }
      program.moxRuntime.place(w, placed[w]);
      if (w === 0) program._moxsim_banner_apart(inParts ? 1 : 0);
    }
    // Nothing lies over the windows before their first frame: reading where they are would lay the page out once
    // more before it (the first frame reads it).
    if (program.moxRuntime.firstFrameDrawn()) placeOver();
  }
  // The layer and the banner placed over the windows as the page lays them out.
  function placeOver() {
    for (let w = 0; w < 2; ++w) {
      if (!sizes[w]) continue;
      // Where the canvases lie in the window's element, read once here: reading it for each element of the layer
      // would lay the page out again for every one.
      const c = canvases[w];
      origins[w] = [c.offsetLeft, c.offsetTop];
      (placed[w] || []).forEach(function (p) { p.left = p.canvas.offsetLeft; p.top = p.canvas.offsetTop; });
      layer.place(w, function (r) { return toPage(w, r); });
    }
    placeBanner();
    sharpen();
  }
  window.addEventListener('resize', layout);
  // A panel that opens over a window shown in parts comes in place of the parts under it: the page scrolls to it,
  // and goes back to where the player was (`y`, before the parts changed) when it closes.
  const panels = [null, null];  // the panel's part ("x,y,width,height") and where the page was
  function keepInView(w, was, y) {
    if (!placed[w] || !was.length) {
      panels[w] = null;
      return;
    }
    const now = parts[w].map(String), before = was.map(String);
    if (panels[w] && !now.includes(panels[w].part)) {
      window.scrollTo(0, panels[w].y);
      panels[w] = null;
      return;
    }
    const i = now.findIndex(function (r) { return !before.includes(r); });
    if (i < 0 || !placed[w][i] || before.every(function (r) { return now.includes(r); })) return;
    panels[w] = {part: now[i], y: panels[w] ? panels[w].y : y};
    placed[w][i].canvas.scrollIntoView({block: 'start'});
  }
  // The part of a window shown in parts that a layout rectangle's middle lies in; none while a panel over the
  // columns hides the part it lies in.
  function partOf(w, r) {
    const x = r[0] + r[2] / 2, y = r[1] + r[3] / 2;
    return placed[w].find(function (p) { return x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h; }) || null;
  }
  // A layout rectangle [x, y, width, height] of a window as CSS pixels in its element (the window's div); null
  // where it does not show.
  function toPage(w, r) {
    if (!placed[w]) {
      const f = program.moxRuntime.fit(w);
      return [origins[w][0] + r[0] * f, origins[w][1] + r[1] * f, r[2] * f, r[3] * f];
    }
    const p = partOf(w, r);
    return p && [p.left + (r[0] - p.x) * p.fit, p.top + (r[1] - p.y) * p.fit, r[2] * p.fit, r[3] * p.fit];
  }
  // A pointer event on a window's canvas or one of its parts, as a point on the window's canvas's own pixels.
  function toCanvas(w, el, e) {
    const r = el.getBoundingClientRect();
    const x = e.clientX - r.left, y = e.clientY - r.top;
    if (el === canvases[w] || !placed[w]) return program.moxRuntime.toCanvas(w, x, y);
    const p = placed[w][+el.dataset.part], k = program.moxRuntime.factor(w);
    return [Math.floor((p.x + x / p.fit) * k), Math.floor((p.y + y / p.fit) * k)];
  }
  // The open list of a window's drop-down in the viewport's CSS pixels, [x, y, width, height], or null.
  function openList(w) {
    const text = program.UTF8ToString(program._moxsim_open_list(w));
    if (!text) return null;
    const r = toPage(w, text.split(' ').map(Number)), box = canvases[w].parentNode.getBoundingClientRect();
    return r && [box.left + r[0], box.top + r[1], r[2], r[3]];
  }
  // An open drop-down list is brought into the viewport.
  function keepListInView(w) {
    const r = openList(w);
    if (!r) return;
    const top = r[1], bottom = top + r[3];
    if (bottom > window.innerHeight) window.scrollBy(0, Math.min(top, bottom - window.innerHeight + 8));
    else if (top < 0) window.scrollBy(0, top - 8);
  }
  // The banner of a main window shown in parts lies whole over the part the player sees most of, across its
  // width, in the middle of what shows of it, sliding as it does over the whole window.
  function placeBanner() {
    const b = program.moxRuntime.bannerCanvas();
    const at = program.moxRuntime.bannerPlace();
    if (!placed[0] || !at || b.hidden) {
      if (b.parentNode) b.remove();
      return;
    }
    if (b.parentNode !== canvases[0].parentNode) canvases[0].parentNode.appendChild(b);
    let best = null, most = -1;
    for (const p of placed[0]) {
      const r = p.canvas.getBoundingClientRect();
      const seen = Math.min(r.bottom, window.innerHeight) - Math.max(r.top, 0);
      if (p.canvas.width > 0 && r.height >= r.width * b.height / b.width && seen > most) { best = p; most = seen; }
    }
    if (!best) return;
    const r = best.canvas.getBoundingClientRect(), box = canvases[0].parentNode.getBoundingClientRect();
    const width = best.w * best.fit, height = width * b.height / b.width, scale = width / at.width;
    const middle = (Math.max(r.top, 0) + Math.min(r.bottom, window.innerHeight)) / 2;
    const top = Math.min(Math.max(middle - height / 2 + at.fromRest * scale, r.top), r.bottom - height);
    b.style.left = best.left + 'px';
    b.style.top = (top - box.top) + 'px';
    b.style.width = width + 'px';
    b.style.height = height + 'px';
  }
  window.addEventListener('scroll', function () { if (program && placed[0]) placeBanner(); }, {passive: true});
  // At more than one device pixel per CSS pixel the 2x set follows the first frame (and the pack).
  let sharp = null;  // the 2x set's promise, once asked for
  let sharpLanded = false;
  function sharpen() {
    if (sharp || !page.fetch2x || (window.devicePixelRatio || 1) <= 1 || !program.moxRuntime.firstFrameDrawn()) {
      return;
    }
    sharp = program.moxRuntime.take2x(page.fetch2x()).then(function () { sharpLanded = true; },
                                                                 function () { /* the 1x pictures stay */ });
  }
  function watchRatio() {
    // A change of the device pixel ratio (zoom, another screen) redraws at the new one.
    const q = matchMedia('(resolution: ' + (window.devicePixelRatio || 1) + 'dppx)');
    const again = function () { layout(); watchRatio(); };
    if (q.addEventListener) q.addEventListener('change', again, {once: true});
  }

  return {
    // The program, once it is there (before its windows report their sizes).
    attach: function (p) { program = p; },
    // The windows laid out for the first time, and again whenever the device pixel ratio changes.
    start: function () {
      layout();
      watchRatio();
    },
    layout: layout,
    placeOver: placeOver,
    setSize: function (w, width, height) { sizes[w] = {width: width, height: height}; },
    // The parts a window is shown in on a narrow screen, as the program has them now: "x y width height" joined
    // by ';'.
    setParts: function (w, text) {
      const was = parts[w];
      parts[w] = text ? text.split(';').map(function (r) { return r.split(' ').map(Number); }) : [];
      // Laid out once the program's call returns (this comes from inside a frame).
      Promise.resolve().then(function () {
        const y = window.scrollY;
        layout();
        keepInView(w, was, y);
      });
    },
    bannerMoved: function () { if (placed[0]) placeBanner(); },
    // A window shown in parts: whether a layout rectangle of it shows (in a part no panel hides); a window shown
    // whole shows all of it.
    shows: function (w, r) { return !placed[w] || !!partOf(w, r); },
    toPage: toPage,
    toCanvas: toCanvas,
    openList: openList,
    keepListInView: keepListInView,
    // How many parts each window is shown in (0: whole), and whether the 2x pictures landed, for tests.
    inParts: function () { return placed.map(function (p) { return p ? p.length : 0; }); },
    sharpLanded: function () { return sharpLanded; },
  };
};
