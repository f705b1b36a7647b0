// The canvas executor and the browser's side of the program, inside the module (Module.moxRuntime): the
// display lists' commands drawn on the page's canvases at the device's pixels, text in the shipped face, timers on
// the browser's clock and frames only on request. Its pictures come from the picture cache (web_pictures.js), its
// sounds from web_audio.js.
// The same module started in the page's Web Worker (moxsim-worker.js) only figures the planner's questions: it
// has no page to draw on and no runtime. Both pass bytes into the module with withBytes.
//
// The build puts in front of these scripts (--pre-js) MoxBridge (tools/gen_bridge.py), which names what the page
// and the module tell each other (the frame's result, the events' kinds, the roles and fields of the layer's
// nodes), and moxNextTask (site/next-task.js), the page's own.
/* global moxPictureCache, moxAudio */

// Bytes copied into the module's memory for `use(address, length)`, whose result is returned; the copy is freed
// after it, unless `keep` (memory the module keeps for as long as it runs). Returns 0 without calling `use` when
// the memory cannot be had for a copy that is kept.
Module.withBytes = function (bytes, use, keep) {
  const where = Module._malloc(Math.max(1, bytes.length));
  if (!where && keep) return 0;
  HEAPU8.set(bytes, where);
  try {
    return use(where, bytes.length);
  } finally {
    if (!keep) Module._free(where);
  }
};

Module.moxRuntime = typeof document === 'undefined' ? null : (function () {
  'use strict';
  // The sans-serif faces come in two steps: MoxSans, cut to what the main window shows, until the whole faces
  // (MoxSansAll) are there, then those alone.
  const SANS = '"MoxSansAll", "MoxSans", "Noto Sans CJK SC", sans-serif';
  const SERIF = '"MoxSerif", "Noto Serif CJK SC", serif';
  const Result = MoxBridge.FrameResult;
  const windows = [];
  const timers = new Map();
  const colours = new Map();
  const metrics = new Map();
  let frameRequested = false;
  let drawing = false;  // the last frame left damage for the next
  let layerDue = false;  // the layer of elements is told what a frame changed in a task of its own, coming
  // What a frame may spend drawing, in ms: bands of the windows until it is spent (web_window.cpp). A window drawn
  // again whole (a new scale, the sharper pictures) takes several frames rather than holding the page's thread for
  // one long one.
  const FRAME_BUDGET = 6;
  // Nothing of the first frame shows before all of it: it is drawn in bands as large as what waits (each band costs
  // a readback), as many as fit in a task still short of a long one (50 ms).
  const FIRST_FRAME_BUDGET = 40;
  let firstFrameDrawn = false;
  let fontsReady = false;
  // While only the first faces are there, the characters they hold (null: every face is there, or failed for good).
  // A text that needs another is not drawn until the whole faces arrive, so no caption shows in a face other than
  // the program's; `textWaits` says one did since the faces last changed.
  let firstChars = null;
  let textWaits = false;
  let framesDrawn = 0;
  const longest = {timer: 0, frame: 0};  // the longest each kind of call held the page's thread, in ms
  const measure = document.createElement('canvas').getContext('2d');
  // The banner of a main window shown in parts, drawn apart: its picture ('' none) and its top in the window.
  const banner = {name: '', fromRest: 0, width: 0, drawn: '', canvas: document.createElement('canvas')};
  banner.canvas.className = 'banner';
  banner.canvas.setAttribute('aria-hidden', 'true');
  banner.canvas.hidden = true;

  function page() { return Module.moxPage; }
  const cache = moxPictureCache({
    page: page,
    firstFrameDrawn: function () { return firstFrameDrawn; },
    requestFrame: function () { Module.moxRuntime.requestFrame(); },
    clip: clip,
  });
  const pictureOf = cache.pictureOf, drawable = cache.drawable, sizeOf = cache.sizeOf;
  const audio = moxAudio();

  function colour(c) {
    let s = colours.get(c);
    if (!s) {
      s = 'rgb(' + (c & 255) + ',' + ((c >> 8) & 255) + ',' + ((c >> 16) & 255) + ')';
      colours.set(c, s);
    }
    return s;
  }

  // Draws on what shows a window: its canvas, or for a window shown in parts the canvas of each part the band
  // being drawn lies in, placed at the part's offset (the window's own canvas is then not drawn on at all).
  function drawOn(window, draw) {
    const v = windows[window];
    if (!v.parts) { draw(v.screenCtx); return; }
    for (const p of v.targets) {
      p.ctx.save();
      p.ctx.translate(-p.edges.x, -p.edges.y);
      draw(p.ctx);
      p.ctx.restore();
    }
  }

  function clip(ctx, x, y, w, h) {
    ctx.save();
    ctx.beginPath();
    ctx.rect(x, y, w, h);
    ctx.clip();
  }

  function fontOf(face) { return ((face & 1) ? 'bold ' : '') + (face >> 2) + 'px ' + ((face & 2) ? SERIF : SANS); }

  // The face's line height and ascent in whole pixels, rounded outwards as a font renderer's are.
  function faceMetrics(face) {
    let m = metrics.get(face);
    if (!m) {
      const height = face >> 2;
      measure.font = fontOf(face);
      // The face's own bounding box: any text it has glyphs for gives it (the serif faces hold only the characters
      // their labels show; one they lack would have the browser search the system's fonts for it).
      const t = measure.measureText('Ag');
      const ascent = Math.ceil(t.fontBoundingBoxAscent || height * 0.88);
      const descent = Math.ceil(t.fontBoundingBoxDescent || height * 0.12);
      m = {ascent: ascent, lineHeight: ascent + descent};
      metrics.set(face, m);
    }
    return m;
  }

  function textShows(text) {
    if (!firstChars) return true;
    for (const c of text) {
      if (!firstChars.has(c)) {
        if (!textWaits) {
          textWaits = true;
          page().fontsNeeded();
        }
        return false;
      }
    }
    return true;
  }

  function textWidth(text, face) {
    measure.font = fontOf(face);
    return Math.ceil(measure.measureText(text).width);
  }


  // A window shown in parts: each part's canvas shows its rectangle of the window, in the window canvas's pixels.
  function edges(v, p) {
    const k = v.factor;
    const x = Math.round(p.x * k), y = Math.round(p.y * k);
    return {x: x, y: y, w: Math.round((p.x + p.w) * k) - x, h: Math.round((p.y + p.h) * k) - y};
  }
  function sizeParts(v) {
    for (const p of v.parts || []) {
      const e = edges(v, p);
      p.edges = e;
      p.ctx = p.canvas.getContext('2d');
      if (p.canvas.width !== e.w || p.canvas.height !== e.h) {
        p.canvas.width = e.w;
        p.canvas.height = e.h;
        p.ctx.imageSmoothingQuality = 'high';
      }
      p.canvas.style.width = (p.w * p.fit) + 'px';
      p.canvas.style.height = (p.h * p.fit) + 'px';
    }
  }
  // Draws the banner's picture when it changed; the page places it.
  function drawBanner() {
    if (banner.name === banner.drawn) return;
    const p = banner.name ? pictureOf(banner.name, -1) : null;
    if (!p) {
      if (!banner.name) banner.drawn = '';
      if (!banner.canvas.hidden) {
        banner.canvas.hidden = true;
        page().bannerMoved();
      }
      return;
    }
    const c = banner.canvas;
    c.width = sizeOf(p, 'width');
    c.height = sizeOf(p, 'height');
    const ctx = c.getContext('2d');
    ctx.imageSmoothingQuality = 'high';
    ctx.drawImage(drawable(p), 0, 0, c.width, c.height);
    banner.drawn = p.twice ? '' : banner.name;
    c.hidden = false;
    page().bannerMoved();
  }

  // Until the first frame is whole nothing is shown: its bands need not wait for the screen's next frame.
  function nextFrame() {
    if (firstFrameDrawn) requestAnimationFrame(frame); else moxNextTask().then(frame);
  }
  function frame() {
    frameRequested = false;
    cache.takeMissing();
    const start = performance.now();
    const result = Module._moxsim_frame(firstFrameDrawn ? FRAME_BUDGET : FIRST_FRAME_BUDGET, firstFrameDrawn ? 0 : 1);
    const drawn = (result & Result.Drawn) !== 0;
    drawing = (result & (Result.Drawing | Result.Waiting)) !== 0;
    if ((result & Result.SemanticsDue) && !layerDue) {
      layerDue = true;
      const tell = function () {
        if (Module._moxsim_semantics()) moxNextTask().then(tell); else layerDue = false;
      };
      moxNextTask().then(tell);
    }
    if (result & Result.Drawing) {
      frameRequested = true;
      nextFrame();
    }
    drawBanner();
    longest.frame = Math.max(longest.frame, performance.now() - start);
    if (drawn) ++framesDrawn;
    const whole = fontsReady && !textWaits && cache.takeMissing() === 0 && cache.decoding() === 0;
    if (!firstFrameDrawn && drawn && !drawing && whole) {
      firstFrameDrawn = true;
      performance.mark('moxsim-first-frame');
      page().firstFrameDrawn();
    }
  }


  return {
    // Every place below is in the window canvas's own pixels (web_draw.cpp puts the layout on them).
    fill: function (window, x, y, w, h, c, cx, cy, cw, ch) {
      drawOn(window, function (ctx) {
        if (cw >= 0) clip(ctx, cx, cy, cw, ch);
        ctx.fillStyle = colour(c);
        ctx.fillRect(x, y, w, h);
        if (cw >= 0) ctx.restore();
      });
    },
    pictureWidth: function (name) { return sizeOf(pictureOf(name, -1), 'width'); },
    pictureHeight: function (name) { return sizeOf(pictureOf(name, -1), 'height'); },
    picture: function (window, name, key, alpha, x, y, w, h, cx, cy, cw, ch) {
      const p = pictureOf(name, key);
      if (!p) return;
      const own = drawable(p);
      // At its own size as it is; else its copy at this size, or while there is none (a look the program did not
      // ask for before, a sharper picture decoded meanwhile) resampled here quickly, and drawn again from its copy
      // once that is made.
      const image = own.width === w && own.height === h ? own : cache.wantSized(name, key, p, w, h);
      if (!image) cache.drawnQuickly();
      drawOn(window, function (ctx) {
        clip(ctx, cx, cy, cw, ch);
        ctx.globalAlpha = alpha / 255;
        if (!image) ctx.imageSmoothingQuality = 'low';
        ctx.drawImage(image || own, x, y, w, h);
        ctx.restore();
      });
    },
    text: function (window, text, face, underline, c, align, bx, by, bw, bh, cx, cy, cw, ch) {
      if (!textShows(text)) return;
      const m = faceMetrics(face);
      const w = textWidth(text, face);
      let x = bx;
      if (align === 1) x = bx + Math.trunc((bw - w) / 2);
      if (align === 2) x = bx + bw - w;
      const top = by + Math.trunc((bh - m.lineHeight) / 2);
      drawOn(window, function (ctx) {
        clip(ctx, cx, cy, cw, ch);
        ctx.font = fontOf(face);
        ctx.fillStyle = colour(c);
        ctx.textBaseline = 'alphabetic';
        ctx.fillText(text, x, top + m.ascent);
        if (underline) ctx.fillRect(x, top + m.ascent + underline, w, underline);
        ctx.restore();
      });
    },
    // What was drawn on the window is put on its canvases now (the browser would do it when it shows them, in one
    // long piece after the frame): reading a pixel back makes it.
    flush: function (window) {
      const v = windows[window];
      for (const p of v.parts ? v.targets : [{ctx: v.screenCtx}]) p.ctx.getImageData(0, 0, 1, 1);
    },
    // What comes next is drawn inside this rectangle of the window: on a window shown in parts, only the parts it
    // falls in are drawn on.
    target: function (window, x, y, w, h) {
      const v = windows[window];
      if (!v.parts) return;
      v.targets = v.parts.filter(function (p) {
        const e = p.edges;
        return x < e.x + e.w && e.x < x + w && y < e.y + e.h && e.y < y + h;
      });
    },
    lineHeight: function (face) { return faceMetrics(face).lineHeight; },
    textWidth: textWidth,

    // A window's layout size and title, once at start.
    windowSize: function (window, width, height, title) {
      const screen = Module.moxCanvases[window];
      windows[window] = {screen: screen, screenCtx: screen.getContext('2d'), width: width, height: height, fit: 1,
                         factor: 1, parts: null, targets: []};
      screen.setAttribute('aria-label', title);
      screen.dataset.layoutWidth = width;
      page().windowSize(window, width, height, title);
    },
    // Shows the window `fit` CSS pixels per layout pixel on a screen of `ratio` device pixels per CSS pixel: the
    // program draws it at the scale factor nearest fit times ratio (canvasSize), and the browser shows that.
    setScale: function (window, fit, ratio) {
      const v = windows[window];
      if (!v) return;
      v.fit = fit;
      Module._moxsim_scale(window, fit * ratio);
    },
    canvasSize: function (window, width, height, factor) {
      const v = windows[window];
      cache.forgetSizes();
      v.factor = factor;
      v.screen.width = width;
      v.screen.height = height;
      v.screenCtx.imageSmoothingEnabled = true;
      v.screenCtx.imageSmoothingQuality = 'high';
      v.screen.style.width = (v.width * v.fit) + 'px';
      v.screen.style.height = (v.height * v.fit) + 'px';
      sizeParts(v);
    },
    // The window shown in parts ([{x, y, w, h, fit, canvas}]: layout rectangles, CSS pixels per layout pixel and
    // the canvas each is shown on) or whole (null).
    place: function (window, parts) {
      const v = windows[window];
      if (!v) return;
      const shape = function (list) {
        return JSON.stringify(list && list.map(function (p) { return [p.x, p.y, p.w, p.h, p.fit]; }));
      };
      const was = shape(v.parts);
      v.parts = parts;
      v.targets = parts || [];
      sizeParts(v);
      // Shown otherwise: what shows the window is drawn anew.
      if (shape(parts) !== was) {
        Module._moxsim_expose(window);
      }
    },
    // The banner drawn apart from a main window shown in parts (web_window.cpp): the page places its canvas.
    banner: function (name, fromRest, width) {
      banner.name = name;
      banner.fromRest = fromRest;
      banner.width = width;
      drawBanner();
      page().bannerMoved();
    },
    bannerCanvas: function () { return banner.canvas; },
    // How far the banner lies below its resting place and its width, in layout pixels; null when none shows.
    bannerPlace: function () { return banner.name ? {fromRest: banner.fromRest, width: banner.width} : null; },
    // From CSS pixels on the canvas to the canvas's own.
    toCanvas: function (window, cssX, cssY) {
      const v = windows[window];
      const k = v.screen.width / (v.width * v.fit);
      return [Math.floor(cssX * k), Math.floor(cssY * k)];
    },
    cursor: function (window, hand) {
      const v = windows[window];
      if (v) v.screen.style.cursor = hand ? 'pointer' : 'default';
    },
    timer: function (window, control, interval, generation) {
      const key = window * 65536 + control;
      const running = timers.get(key);
      if (running !== undefined) clearInterval(running);
      timers.delete(key);
      if (interval > 0) {
        timers.set(key, setInterval(function () {
          const start = performance.now();
          Module._moxsim_timer(window, control, generation);
          const took = performance.now() - start;
          if (took > longest.timer) { longest.timer = took; longest.which = key; }
        }, interval));
      }
    },
    runningTimers: function () { return timers.size; },
    requestFrame: function () {
      // The first frame waits for its pictures and faces: a frame drawn without them is drawn for nothing (the
      // last decode and the faces' arrival each ask again).
      if (!firstFrameDrawn && (cache.decoding() > 0 || !fontsReady)) return;
      if (frameRequested) return;
      frameRequested = true;
      nextFrame();
    },
    firstFrameDrawn: function () { return firstFrameDrawn; },
    forgetSizes: cache.forgetSizes,
    // The picture cache's part of what the page asks of the runtime.
    want: cache.want,
    takeFirst: cache.takeFirst,
    takePack: cache.takePack,
    take2x: cache.take2x,
    prefetch: cache.prefetch,
    firstFrameAwaitedPack: cache.firstFrameAwaitedPack,
    // Whether the windows have something left to draw: damage, text waiting for its faces, or pictures to decode or
    // make first (an animation asking for frame after frame is not counted).
    drawing: function () { return drawing || layerDue || textWaits || cache.sizing() || cache.decoding() > 0; },
    // The shipped faces arrived (or failed for good): text is measured and drawn again in them. `chars`: while only
    // the first faces are there, the characters they hold.
    // The whole faces after the first are the same faces: what was drawn stays as it is, and only when a text waited
    // for them is everything measured and drawn again.
    fontsLoaded: function (chars) {
      const same = fontsReady && firstChars && !chars && !textWaits;
      fontsReady = true;
      firstChars = chars ? new Set(chars) : null;
      if (same) return;
      textWaits = false;
      metrics.clear();
      Module._moxsim_fonts_changed();
    },
    frames: function () { return framesDrawn; },
    // The longest a timer tick and a frame took since the last call (for benchmarks).
    takeLongest: function () {
      const out = {timer: longest.timer, frame: longest.frame, which: longest.which};
      longest.timer = longest.frame = 0;
      return out;
    },
    fit: function (window) { return windows[window].fit; },
    factor: function (window) { return windows[window].factor; },

    playSound: audio.play,
    audioState: audio.state,
    soundsPlayed: audio.played,
  };
})();
