// The canvas executor and the browser's side of the program, inside the module (Module.moxRuntime): the
// display lists' commands drawn on the page's canvases at the device's pixels, pictures decoded by the browser
// from the embedded bytes, text in the shipped face, timers on the browser's clock, frames only on request, and
// sound through WebAudio once the page has had a user gesture.
// The same module started in the page's Web Worker (moxsim-worker.js) only figures the planner's questions: it
// has no page to draw on and no runtime.
Module.moxRuntime = typeof document === 'undefined' ? null : (function () {
  'use strict';
  const SANS = '"MoxSans", "Noto Sans CJK SC", sans-serif';
  const SERIF = '"MoxSerif", "Noto Serif CJK SC", serif';
  const KEY_TOLERANCE = 8;  // paint::Picture::kKeyTolerance
  const windows = [];
  const pictures = new Map();  // name -> {bitmap, failed} (absent: not asked for yet; null bitmap: decoding)
  const keyedPictures = new Map();
  // Pictures resampled to the size they are drawn at, once per picture and size (null while one is being made):
  // the browser's high-quality resampling of a large picture costs a frame tens of milliseconds each time (a
  // bench at 2.5 device pixels per layout pixel), a copy at its own size next to nothing. The program asks for
  // the pictures of what it is about to paint (want); they are made in tasks of their own, a few milliseconds
  // each, and the frame that paints comes once they are all there.
  const sizedPictures = new Map();
  const toSize = [];  // [{id, name, key, w, h}] to make, in order
  let sizing = false;  // a task that makes them is coming
  let quickDrawn = false;  // a picture was drawn resampled quickly, for want of its copy
  const TASK_BUDGET = 6;  // ms of the page's thread a task of the runtime's own (making them, decoding) may take
  const timers = new Map();
  const colours = new Map();
  const metrics = new Map();
  const sounds = new Map();
  let decoding = 0;
  let missing = 0;
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
  let firstFrame = false;
  let fontsReady = false;
  let framesDrawn = 0;
  let soundsPlayed = 0;
  const longest = {timer: 0, frame: 0};  // the longest each kind of call held the page's thread, in ms
  let audio = null;
  // moxsim-assets.bin, what the module leaves out: null where it leaves nothing out, a promise while it comes,
  // then true. Pictures asked for before it came wait for it.
  let pack = null;
  const awaitingPack = [];
  let firstFrameAwaitedPack = 0;  // pictures the first frame waited for the pack for
  const measure = document.createElement('canvas').getContext('2d');
  // The banner of a main window shown in parts, drawn apart: its picture ('' none) and its top in the window.
  const banner = {name: '', fromRest: 0, width: 0, drawn: '', canvas: document.createElement('canvas')};
  banner.canvas.className = 'banner';
  banner.canvas.setAttribute('aria-hidden', 'true');
  banner.canvas.hidden = true;

  function page() { return Module.moxPage; }

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

  function textWidth(text, face) {
    measure.font = fontOf(face);
    return Math.ceil(measure.measureText(text).width);
  }

  // A picture's bytes to a bitmap, decoded off the page's thread. The first frame's pictures (small, wanted soon)
  // go through WebCodecs' ImageDecoder, which copies them straight from the module's memory and soonest has them
  // (a Blob for createImageBitmap takes the page's thread ten times as long to make: the first frame's 15
  // pictures, 10 ms against 1). The 2x set's go through Blobs, a few handed over a task: ImageDecoder's frame
  // becomes a bitmap on the page's thread, 15-70 ms a task for those larger pictures.
  const toDecode = [];
  let handing = false;
  function handOver() {
    const end = performance.now() + TASK_BUDGET;
    while (toDecode.length && performance.now() < end) toDecode.shift()();
    if (toDecode.length) nextTask().then(handOver); else handing = false;
  }
  function viaBlob(where, size) {
    return new Promise(function (resolve) {
      // The memory may have grown by then: HEAPU8 is its view as it is.
      toDecode.push(function () { resolve(createImageBitmap(new Blob([HEAPU8.slice(where, where + size)]))); });
      if (!handing) {
        handing = true;
        nextTask().then(handOver);
      }
    });
  }
  function decodeBytes(name, where, size) {
    const bytes = HEAPU8.subarray(where, where + size);
    const type = bytes[0] === 0xFF && bytes[1] === 0xD8 ? 'image/jpeg'
               : bytes[0] === 0x89 && bytes[1] === 0x50 ? 'image/png' : '';
    if (name.endsWith('@2x') || typeof ImageDecoder !== 'function' || !type) return viaBlob(where, size);
    let decoder;
    try {
      decoder = new ImageDecoder({data: bytes, type: type});
    } catch (e) {
      return viaBlob(where, size);
    }
    return decoder.decode().then(function (result) {
      return createImageBitmap(result.image).finally(function () {
        result.image.close();
        decoder.close();
      });
    }, function () {
      decoder.close();
      return viaBlob(where, size);
    });
  }

  function decode(name) {
    const entry = {bitmap: null, failed: false};
    pictures.set(name, entry);
    const where = Module.ccall('moxsim_asset', 'number', ['string'], [name]);
    const size = Module.ccall('moxsim_asset_size', 'number', ['string'], [name]);
    if ((!where || !size) && pack && pack !== true) {
      awaitingPack.push(name);
      ++decoding;
      if (!firstFrame) ++firstFrameAwaitedPack;
      if (page().packNeeded) page().packNeeded();
      return;
    }
    if (!where || !size) {
      entry.failed = true;
      page().pictureFailed(name);
      return;
    }
    ++decoding;
    decodeBytes(name, where, size).then(function (bitmap) {
      entry.bitmap = bitmap;
    }, function () {
      entry.failed = true;
      // A 2x picture that does not decode leaves its 1x one in its place.
      if (!name.endsWith('@2x')) page().pictureFailed(name);
    }).then(function () {
      if (--decoding === 0) Module._moxsim_redraw_all();
    });
  }

  // The picture ready to draw, or null (decoding started, or it cannot be had). A 2x picture still decoding is
  // its 1x picture meanwhile, drawn at the same place (`twice` says so: its sizes count double).
  function pictureOf(name, key) {
    if (!pictures.has(name)) decode(name);
    const entry = pictures.get(name);
    if (!entry.bitmap) {
      if (!entry.failed) ++missing;
      if (!name.endsWith('@2x')) return null;
      const base = pictures.get(name.slice(0, -3));
      if (!base || !base.bitmap) return null;
      const image = pictureOf(name.slice(0, -3), key);
      return image && {image: image, twice: true};
    }
    if (key < 0) return entry.bitmap;
    const id = name + '#' + key;
    let keyed = keyedPictures.get(id);
    if (!keyed) {
      const b = entry.bitmap;
      keyed = document.createElement('canvas');
      keyed.width = b.width;
      keyed.height = b.height;
      const c = keyed.getContext('2d');
      c.drawImage(b, 0, 0);
      const image = c.getImageData(0, 0, b.width, b.height);
      const d = image.data;
      const kr = key & 255, kg = (key >> 8) & 255, kb = (key >> 16) & 255;
      for (let i = 0; i < d.length; i += 4) {
        if (Math.abs(d[i] - kr) <= KEY_TOLERANCE && Math.abs(d[i + 1] - kg) <= KEY_TOLERANCE &&
            Math.abs(d[i + 2] - kb) <= KEY_TOLERANCE) d[i + 3] = 0;
      }
      c.putImageData(image, 0, 0);
      keyedPictures.set(id, keyed);
    }
    return keyed;
  }
  function drawable(p) { return p && p.twice ? p.image : p; }
  // A picture's copy at a size: the id it is kept under (a 2x picture drawn from its 1x one meanwhile counts as
  // the 1x one), and the picture it is made from.
  function sizedId(name, key, p, w, h) {
    return (p.twice ? name.slice(0, -3) : name) + '#' + key + '#' + w + 'x' + h;
  }
  // A copy is made in strips of about this many pixels, each a task's piece (made there, not when first drawn):
  // a window-sized picture at factor 2.5 would take tens of milliseconds in one.
  const STRIP_PIXELS = 150000;
  // Resolves in a task of its own, soon (a timer's zero delay grows to 4 ms when timers nest, and to a second
  // in a tab in the background).
  function nextTask() {
    if (window.scheduler && typeof scheduler.yield === 'function') return scheduler.yield();
    return new Promise(function (resolve) {
      const channel = new MessageChannel();
      channel.port1.onmessage = function () { channel.port1.close(); resolve(); };
      channel.port2.postMessage(0);
    });
  }
  function makeSized() {
    sizing = false;
    const end = performance.now() + TASK_BUDGET;
    while (toSize.length && performance.now() < end) {
      const job = toSize[0];
      if (sizedPictures.get(job.id) !== null) { toSize.shift(); continue; }  // the sizes were forgotten meanwhile
      const image = drawable(pictureOf(job.name, job.key));
      if (!image) { toSize.shift(); sizedPictures.delete(job.id); continue; }
      if (image.width === job.w && image.height === job.h) {
        toSize.shift();
        sizedPictures.set(job.id, image);
        continue;
      }
      if (!job.canvas) {
        job.canvas = typeof OffscreenCanvas === 'function' ? new OffscreenCanvas(job.w, job.h)
                                                           : document.createElement('canvas');
        job.canvas.width = job.w;
        job.canvas.height = job.h;
        job.ctx = job.canvas.getContext('2d');
        job.ctx.imageSmoothingQuality = 'high';
        job.row = 0;
      }
      // The whole picture drawn through a strip of the copy: each strip's pixels are those of one draw of it all.
      const rows = Math.max(1, Math.floor(STRIP_PIXELS / job.w));
      clip(job.ctx, 0, job.row, job.w, rows);
      job.ctx.drawImage(image, 0, 0, job.w, job.h);
      job.ctx.restore();
      // Reading a pixel back makes the strip now, in this task.
      job.ctx.getImageData(0, job.row, 1, 1);
      job.row += rows;
      if (job.row >= job.h) {
        toSize.shift();
        sizedPictures.set(job.id, job.canvas);
      }
    }
    if (toSize.length) {
      sizing = true;
      nextTask().then(makeSized);
    } else if (quickDrawn) {
      quickDrawn = false;
      Module._moxsim_redraw_all();
    } else {
      Module.moxRuntime.requestFrame();
    }
  }
  // The copies are made again when next wanted (another scale; a test's fresh start).
  function forgetSizes() {
    sizedPictures.clear();
    toSize.length = 0;
  }
  function wantSized(name, key, p, w, h) {
    const id = sizedId(name, key, p, w, h);
    const made = sizedPictures.get(id);
    if (made) return made;
    if (made === undefined) {
      sizedPictures.set(id, null);
      toSize.push({id: id, name: name, key: key, w: w, h: h});
      if (!sizing) {
        sizing = true;
        nextTask().then(makeSized);
      }
    }
    return null;
  }
  function sizeOf(p, side) { return !p ? 0 : p.twice ? p.image[side] * 2 : p[side]; }

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
    if (firstFrame) requestAnimationFrame(frame); else nextTask().then(frame);
  }
  function frame() {
    frameRequested = false;
    missing = 0;
    const start = performance.now();
    const result = Module._moxsim_frame(firstFrame ? FRAME_BUDGET : FIRST_FRAME_BUDGET, firstFrame ? 0 : 1);
    const drawn = (result & 1) !== 0;
    drawing = (result & 6) !== 0;
    if ((result & 8) && !layerDue) {
      layerDue = true;
      const tell = function () {
        if (Module._moxsim_semantics()) nextTask().then(tell); else layerDue = false;
      };
      nextTask().then(tell);
    }
    if (result & 2) {
      frameRequested = true;
      nextFrame();
    }
    drawBanner();
    longest.frame = Math.max(longest.frame, performance.now() - start);
    if (drawn) ++framesDrawn;
    if (!firstFrame && drawn && !drawing && fontsReady && missing === 0 && decoding === 0) {
      firstFrame = true;
      performance.mark('moxsim-first-frame');
      page().firstFrame();
    }
  }

  // A pack's bytes go into the module's memory for good (the assets point into them); returns how many assets
  // took theirs from it.
  function adopt(buffer) {
    const bytes = new Uint8Array(buffer);
    const where = Module._malloc(Math.max(1, bytes.length));
    if (!where) return 0;
    HEAPU8.set(bytes, where);
    return Module._moxsim_adopt_pack(where, bytes.length);
  }

  function unlockAudio() {
    try {
      if (!audio) audio = new (window.AudioContext || window.webkitAudioContext)();
      if (audio.state !== 'running') audio.resume();
    } catch (e) {
      audio = null;
    }
  }
  window.addEventListener('pointerdown', unlockAudio, true);
  window.addEventListener('keydown', unlockAudio, true);

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
    // Whether a picture is ready to draw at that size: 0 while it is being made (a frame is asked for once it is).
    // A picture not decoded yet counts as ready: nothing is drawn of it, and its arrival draws again.
    want: function (name, key, w, h) {
      const p = pictureOf(name, -1);
      if (!p) return 1;
      const image = drawable(p);
      // At its own size it is drawn as it is (a keyed one from its keyed copy, made when first drawn).
      if (image.width === w && image.height === h) return 1;
      return wantSized(name, key, p, w, h) ? 1 : 0;
    },
    picture: function (window, name, key, alpha, x, y, w, h, cx, cy, cw, ch) {
      const p = pictureOf(name, key);
      if (!p) return;
      const own = drawable(p);
      // At its own size as it is; else its copy at this size, or while there is none (a look the program did not
      // ask for before, a sharper picture decoded meanwhile) resampled here quickly, and drawn again from its copy
      // once that is made.
      const image = own.width === w && own.height === h ? own : wantSized(name, key, p, w, h);
      if (!image) quickDrawn = true;
      drawOn(window, function (ctx) {
        clip(ctx, cx, cy, cw, ch);
        ctx.globalAlpha = alpha / 255;
        if (!image) ctx.imageSmoothingQuality = 'low';
        ctx.drawImage(image || own, x, y, w, h);
        ctx.restore();
      });
    },
    text: function (window, text, face, underline, c, align, bx, by, bw, bh, cx, cy, cw, ch) {
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
      forgetSizes();
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
    // The pack's bytes, when they come, go into the module's memory for good (the assets point into them); the
    // pictures waiting for them are decoded then, or fail when the pack never came.
    takePack: function (promise) {
      pack = promise;
      promise.then(adopt).catch(function () {}).then(function () {
        pack = true;
        const names = awaitingPack.splice(0);
        names.forEach(function (name) { pictures.delete(name); decode(name); });
        decoding -= names.length;
        if (names.length && decoding === 0) Module._moxsim_redraw_all();
      });
    },
    firstFrameAwaitedPack: function () { return firstFrameAwaitedPack; },
    // The 2x set (moxsim-2x.bin), for a screen of more than one device pixel per CSS pixel: once it is in, the
    // windows are drawn again from it (each picture shows its 1x self until its 2x one is decoded).
    take2x: function (promise) {
      return promise.then(function (buffer) {
        if (!adopt(buffer)) return;
        // The 2x drawings of the pictures in use are decoded before the windows are drawn again from them: one
        // redraw when the last is in (web decoding ends in one), not one for every batch.
        let started = 0;
        Array.from(pictures.keys()).forEach(function (name) {
          const doubled = name + '@2x';
          if (name.endsWith('@2x') || pictures.has(doubled) ||
              !Module.ccall('moxsim_asset_size', 'number', ['string'], [doubled])) return;
          decode(doubled);
          ++started;
        });
        if (!started) Module._moxsim_redraw_all();
      });
    },
    // The pictures named (one a line) are decoded now, before any frame asks for them.
    prefetch: function (names) {
      names.split('\n').forEach(function (name) { if (name && !pictures.has(name)) decode(name); });
    },
    requestFrame: function () {
      // The first frame waits for its pictures and faces: a frame drawn without them is drawn for nothing (the
      // last decode and the faces' arrival each ask again).
      if (!firstFrame && (decoding > 0 || !fontsReady)) return;
      if (frameRequested) return;
      frameRequested = true;
      nextFrame();
    },
    firstFrameDrawn: function () { return firstFrame; },
    forgetSizes: forgetSizes,
    nextTask: nextTask,
    // Whether the windows have something left to draw: damage, or pictures to decode or make first (an animation
    // asking for frame after frame is not counted).
    drawing: function () { return drawing || layerDue || sizing || decoding > 0; },
    // The shipped faces arrived (or failed for good): text is measured and drawn again in them.
    fontsLoaded: function () {
      fontsReady = true;
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

    playSound: function (role, channels, rate, bits, where, size) {
      if (!audio || audio.state !== 'running') return;
      ++soundsPlayed;
      let buffer = sounds.get(role);
      if (!buffer) {
        const bytesPerSample = bits / 8;
        const frames = Math.floor(size / (bytesPerSample * channels));
        if (frames <= 0) return;
        buffer = audio.createBuffer(channels, frames, rate);
        const view = new DataView(HEAPU8.buffer, where, size);
        for (let ch = 0; ch < channels; ++ch) {
          const out = buffer.getChannelData(ch);
          for (let i = 0; i < frames; ++i) {
            const at = (i * channels + ch) * bytesPerSample;
            out[i] = bits === 16 ? view.getInt16(at, true) / 32768 : (view.getUint8(at) - 128) / 128;
          }
        }
        sounds.set(role, buffer);
      }
      const source = audio.createBufferSource();
      source.buffer = buffer;
      source.connect(audio.destination);
      source.start();
    },
    audioState: function () { return audio ? audio.state : 'none'; },
    soundsPlayed: function () { return soundsPlayed; },
  };
})();
