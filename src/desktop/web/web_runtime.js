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
  // Pictures resampled to the size they are drawn at, once per picture and size: the browser's high-quality
  // resampling of a large picture costs a frame tens of milliseconds each time (a bench at 2.5 device pixels per
  // layout pixel), a copy at its own size next to nothing.
  const sizedPictures = new Map();
  const timers = new Map();
  const colours = new Map();
  const metrics = new Map();
  const sounds = new Map();
  let decoding = 0;
  let missing = 0;
  let frameRequested = false;
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
  const banner = {name: '', y: 0, drawn: '', canvas: document.createElement('canvas')};
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

  function win(surface) { return windows[surface >> 1]; }
  function ctxOf(surface) { const w = win(surface); return (surface & 1) ? w.screenCtx : w.backCtx; }

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
      const t = measure.measureText('强Ag');
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

  // A picture's bytes to a bitmap. WebCodecs' ImageDecoder copies them straight from the module's memory and
  // decodes on a thread of its own; a Blob for createImageBitmap costs the page's thread ten times as long (the
  // first frame's 15 pictures: 10 ms against 1). Where the browser has no ImageDecoder, or it declines the
  // picture, the Blob it is.
  function decodeBytes(name, bytes) {
    // The memory may have grown (and the view lost its bytes) by the time the Blob is made: it reads them anew.
    const size = bytes.length;
    const viaBlob = function () {
      const where = Module.ccall('moxsim_asset', 'number', ['string'], [name]);
      return createImageBitmap(new Blob([HEAPU8.slice(where, where + size)]));
    };
    const type = bytes[0] === 0xFF && bytes[1] === 0xD8 ? 'image/jpeg'
               : bytes[0] === 0x89 && bytes[1] === 0x50 ? 'image/png'
               : bytes[4] === 0x66 && bytes[5] === 0x74 && bytes[6] === 0x79 && bytes[7] === 0x70 ? 'image/avif' : '';
    if (typeof ImageDecoder !== 'function' || !type) return viaBlob();
    let decoder;
    try {
      decoder = new ImageDecoder({data: bytes, type: type});
    } catch (e) {
      return viaBlob();
    }
    return decoder.decode().then(function (result) {
      return createImageBitmap(result.image).finally(function () {
        result.image.close();
        decoder.close();
      });
    }, function () {
      decoder.close();
      return viaBlob();
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
    decodeBytes(name, HEAPU8.subarray(where, where + size)).then(function (bitmap) {
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
  // Resampled when drawn at that size a second time: a picture drawn once (most, at the first frame) is drawn
  // straight from its own.
  function sized(name, key, image, w, h) {
    if (image.width === w && image.height === h) return image;
    const id = name + '#' + key + '#' + w + 'x' + h;
    let out = sizedPictures.get(id);
    if (!out) {
      sizedPictures.set(id, image);
      return image;
    }
    if (out === image) {
      out = document.createElement('canvas');
      out.width = w;
      out.height = h;
      const c = out.getContext('2d');
      c.imageSmoothingQuality = 'high';
      c.drawImage(image, 0, 0, w, h);
      sizedPictures.set(id, out);
    }
    return out;
  }
  function sizeOf(p, side) { return !p ? 0 : p.twice ? p.image[side] * 2 : p[side]; }

  // A window shown in parts: each part's canvas shows its rectangle of the window's screen canvas, copied where
  // a frame changed it (damage in the screen canvas's pixels).
  function edges(v, p) {
    const k = v.factor;
    const x = Math.round(p.x * k), y = Math.round(p.y * k);
    return {x: x, y: y, w: Math.round((p.x + p.w) * k) - x, h: Math.round((p.y + p.h) * k) - y};
  }
  function sizeParts(v) {
    for (const p of v.parts || []) {
      const e = edges(v, p);
      if (p.canvas.width !== e.w || p.canvas.height !== e.h) {
        p.canvas.width = e.w;
        p.canvas.height = e.h;
      }
      p.canvas.style.width = (p.w * p.fit) + 'px';
      p.canvas.style.height = (p.h * p.fit) + 'px';
    }
  }
  function copyParts(v, areas) {
    for (const p of v.parts || []) {
      const e = edges(v, p);
      const ctx = p.canvas.getContext('2d');
      for (const a of areas) {
        const x0 = Math.max(a.x, e.x), y0 = Math.max(a.y, e.y);
        const x1 = Math.min(a.x + a.w, e.x + e.w, v.screen.width), y1 = Math.min(a.y + a.h, e.y + e.h, v.screen.height);
        if (x1 > x0 && y1 > y0) ctx.drawImage(v.screen, x0, y0, x1 - x0, y1 - y0, x0 - e.x, y0 - e.y, x1 - x0, y1 - y0);
      }
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

  function frame() {
    frameRequested = false;
    missing = 0;
    const start = performance.now();
    const drawn = Module._moxsim_frame();
    for (const v of windows) {
      if (v && v.damage.length) {
        copyParts(v, v.damage);
        v.damage.length = 0;
      }
    }
    drawBanner();
    longest.frame = Math.max(longest.frame, performance.now() - start);
    if (drawn) ++framesDrawn;
    if (!firstFrame && drawn && fontsReady && missing === 0 && decoding === 0) {
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
    // Every place below is in the canvas's own pixels (web_draw.cpp puts the layout on them).
    fill: function (s, x, y, w, h, c, cx, cy, cw, ch) {
      const ctx = ctxOf(s);
      if (cw >= 0) clip(ctx, cx, cy, cw, ch);
      ctx.fillStyle = colour(c);
      ctx.fillRect(x, y, w, h);
      if (cw >= 0) ctx.restore();
    },
    pictureWidth: function (name) { return sizeOf(pictureOf(name, -1), 'width'); },
    pictureHeight: function (name) { return sizeOf(pictureOf(name, -1), 'height'); },
    picture: function (s, name, key, alpha, x, y, w, h, cx, cy, cw, ch) {
      const p = pictureOf(name, key);
      const image = p && sized(p.twice ? name.slice(0, -3) : name, key, drawable(p), w, h);
      if (!image) return;
      const ctx = ctxOf(s);
      clip(ctx, cx, cy, cw, ch);
      ctx.globalAlpha = alpha / 255;
      ctx.drawImage(image, x, y, w, h);
      ctx.restore();
    },
    text: function (s, text, face, underline, c, align, bx, by, bw, bh, cx, cy, cw, ch) {
      const ctx = ctxOf(s);
      const m = faceMetrics(face);
      const w = textWidth(text, face);
      let x = bx;
      if (align === 1) x = bx + Math.trunc((bw - w) / 2);
      if (align === 2) x = bx + bw - w;
      const top = by + Math.trunc((bh - m.lineHeight) / 2);
      clip(ctx, cx, cy, cw, ch);
      ctx.font = fontOf(face);
      ctx.fillStyle = colour(c);
      ctx.textBaseline = 'alphabetic';
      ctx.fillText(text, x, top + m.ascent);
      if (underline) ctx.fillRect(x, top + m.ascent + underline, w, underline);
      ctx.restore();
    },
    present: function (window, x, y, w, h) {
      const v = windows[window];
      if (w > 0 && h > 0) v.screenCtx.drawImage(v.back, x, y, w, h, x, y, w, h);
      if (v.parts && w > 0 && h > 0) v.damage.push({x: x, y: y, w: w, h: h});
    },
    lineHeight: function (face) { return faceMetrics(face).lineHeight; },
    textWidth: textWidth,

    // A window's layout size and title, once at start.
    windowSize: function (window, width, height, title) {
      const screen = Module.moxCanvases[window];
      const back = document.createElement('canvas');
      windows[window] = {screen: screen, screenCtx: screen.getContext('2d'), back: back,
                         backCtx: back.getContext('2d'), width: width, height: height, fit: 1, factor: 1,
                         parts: null, damage: []};
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
      sizedPictures.clear();
      v.factor = factor;
      for (const canvas of [v.screen, v.back]) {
        canvas.width = width;
        canvas.height = height;
      }
      for (const ctx of [v.screenCtx, v.backCtx]) {
        ctx.imageSmoothingEnabled = true;
        ctx.imageSmoothingQuality = 'high';
      }
      v.screen.style.width = (v.width * v.fit) + 'px';
      v.screen.style.height = (v.height * v.fit) + 'px';
      sizeParts(v);
    },
    // The window shown in parts ([{x, y, w, h, fit, canvas}]: layout rectangles, CSS pixels per layout pixel and
    // the canvas each is shown on) or whole (null).
    place: function (window, parts) {
      const v = windows[window];
      if (!v) return;
      v.parts = parts;
      v.damage.length = 0;
      sizeParts(v);
      if (parts) copyParts(v, [{x: 0, y: 0, w: v.screen.width, h: v.screen.height}]);
    },
    // The banner drawn apart from a main window shown in parts (web_main.cpp): the page places its canvas.
    banner: function (name, y) {
      banner.name = name;
      banner.y = y;
      drawBanner();
      page().bannerMoved();
    },
    bannerCanvas: function () { return banner.canvas; },
    bannerTop: function () { return banner.name ? banner.y : null; },
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
      requestAnimationFrame(frame);
    },
    firstFrameDrawn: function () { return firstFrame; },
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
