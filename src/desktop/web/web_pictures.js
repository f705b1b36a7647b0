// The picture cache of the module's runtime (web_runtime.js): the embedded pictures decoded by the browser, a
// keyed picture's copy with its key colour see-through, copies resampled to the sizes they are drawn at, and the
// pictures the module leaves out, from moxsim-assets.bin and moxsim-2x.bin once they come.
// hooks: {page() (what the page answers, Module.moxPage), firstFrameDrawn(), requestFrame(), clip(ctx, x, y, w,
// h) (a canvas's drawing clipped to a rectangle, until its restore)}.
/* exported moxPictureCache */
function moxPictureCache(hooks) {
  'use strict';
  const KEY_TOLERANCE = 8;  // paint::Picture::kKeyTolerance
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
  let decoding = 0;
  let missing = 0;
  // The files with what the module leaves out: moxsim-first.bin (the first frame's pictures, fetched beside the
  // module) and moxsim-assets.bin (the rest, fetched after the first frame). Each is null where the module leaves
  // nothing out, a promise while it comes, then true. Pictures asked for before one came wait for it: for the
  // first file while it comes, then for the second.
  const first = {file: null, awaiting: []};
  let early = new Map();  // the first frame's pictures the page began decoding as they came: name -> promise
  const pack = {file: null, awaiting: []};
  let firstFrameAwaitedPack = 0;  // pictures the first frame waited for moxsim-assets.bin for

  // A picture's bytes to a bitmap, decoded off the page's thread. The first frame's pictures are mostly decoding
  // before the module is up (the page hands them to the browser as they come: `early`). The others that are small
  // and wanted soon go through WebCodecs' ImageDecoder, which copies them straight from the module's memory and
  // soonest has them (a Blob for createImageBitmap takes the page's thread ten times as long to make: 15 pictures,
  // 10 ms against 1). The 2x set's go through Blobs, a few handed over a task: ImageDecoder's frame
  // becomes a bitmap on the page's thread, 15-70 ms a task for those larger pictures.
  const toDecode = [];
  let handing = false;
  function handOver() {
    const end = performance.now() + TASK_BUDGET;
    while (toDecode.length && performance.now() < end) toDecode.shift()();
    if (toDecode.length) moxNextTask().then(handOver); else handing = false;
  }
  function viaBlob(where, size, type) {
    return new Promise(function (resolve) {
      // The memory may have grown by then: HEAPU8 is its view as it is.
      const blob = function () { return new Blob([HEAPU8.slice(where, where + size)], type ? {type: type} : {}); };
      toDecode.push(function () { resolve(createImageBitmap(blob())); });
      if (!handing) {
        handing = true;
        moxNextTask().then(handOver);
      }
    });
  }
  function decodeBytes(name, where, size) {
    const bytes = HEAPU8.subarray(where, where + size);
    const type = bytes[0] === 0xFF && bytes[1] === 0xD8 ? 'image/jpeg'
               : bytes[0] === 0x89 && bytes[1] === 0x50 ? 'image/png'
               : String.fromCharCode(bytes[4], bytes[5], bytes[6], bytes[7]) === 'ftyp' ? 'image/avif' : '';
    if (name.endsWith('@2x') || typeof ImageDecoder !== 'function' || !type) return viaBlob(where, size, type);
    let decoder;
    try {
      decoder = new ImageDecoder({data: bytes, type: type});
    } catch (e) {
      return viaBlob(where, size, type);
    }
    return decoder.decode().then(function (result) {
      return createImageBitmap(result.image).finally(function () {
        result.image.close();
        decoder.close();
      });
    }, function () {
      decoder.close();
      return viaBlob(where, size, type);
    });
  }

  function decode(name) {
    const entry = {bitmap: null, failed: false};
    pictures.set(name, entry);
    const where = Module.ccall('moxsim_asset', 'number', ['string'], [name]);
    const size = Module.ccall('moxsim_asset_size', 'number', ['string'], [name]);
    if ((!where || !size) && first.file && first.file !== true) {
      first.awaiting.push(name);
      ++decoding;
      return;
    }
    if ((!where || !size) && pack.file && pack.file !== true) {
      pack.awaiting.push(name);
      ++decoding;
      if (!hooks.firstFrameDrawn()) ++firstFrameAwaitedPack;
      if (hooks.page().packNeeded) hooks.page().packNeeded();
      return;
    }
    if (!where || !size) {
      entry.failed = true;
      hooks.page().pictureFailed(name);
      return;
    }
    ++decoding;
    const begun = early.get(name);
    early.delete(name);
    (begun || decodeBytes(name, where, size)).then(function (bitmap) {
      entry.bitmap = bitmap;
    }, function () {
      entry.failed = true;
      // A 2x picture that does not decode leaves its 1x one in its place.
      if (!name.endsWith('@2x')) hooks.page().pictureFailed(name);
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
      hooks.clip(job.ctx, 0, job.row, job.w, rows);
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
      moxNextTask().then(makeSized);
    } else if (quickDrawn) {
      quickDrawn = false;
      Module._moxsim_redraw_all();
    } else {
      hooks.requestFrame();
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
        moxNextTask().then(makeSized);
      }
    }
    return null;
  }
  function sizeOf(p, side) { return !p ? 0 : p.twice ? p.image[side] * 2 : p[side]; }

  // A pack's bytes go into the module's memory for good (the assets point into them); returns how many assets
  // took theirs from it.
  function adopt(buffer) {
    return Module.withBytes(new Uint8Array(buffer), Module._moxsim_adopt_pack, true);
  }

  function take(which, promise) {
    which.file = promise;
    promise.then(adopt).catch(function () {}).then(function () {
      which.file = true;
      const names = which.awaiting.splice(0);
      decoding -= names.length;
      names.forEach(function (name) { pictures.delete(name); decode(name); });
      if (names.length && decoding === 0) Module._moxsim_redraw_all();
    });
  }

  return {
    // The picture ready to draw (pictureOf), what draws it (drawable) and its size (sizeOf), its copy at a size
    // (wantSized), as the canvas executor draws them.
    pictureOf: pictureOf,
    drawable: drawable,
    sizeOf: sizeOf,
    wantSized: wantSized,
    // A picture was drawn resampled quickly, for want of its copy: the windows are drawn again once it is made.
    drawnQuickly: function () { quickDrawn = true; },
    forgetSizes: forgetSizes,
    // Pictures decoding now, pictures a frame wanted that were not there, and whether copies are being made.
    decoding: function () { return decoding; },
    takeMissing: function () {
      const out = missing;
      missing = 0;
      return out;
    },
    sizing: function () { return sizing; },
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
    // A file's bytes (moxsim-first.bin, moxsim-assets.bin), when they come, go into the module's memory for good
    // (the assets point into them); the pictures waiting for them are decoded then, or fail (or wait for the next
    // file) when it never came or holds no pack. The first file comes with its pictures' decoding begun
    // ({buffer, bitmaps}): what it gives is taken as it is.
    takeFirst: function (promise) {
      take(first, promise.then(function (file) {
        early = file.bitmaps;
        return file.buffer;
      }));
    },
    takePack: function (promise) { take(pack, promise); },
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
  };
}
