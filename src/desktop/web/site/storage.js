// The stock the page keeps: the save file (and beside it the plans pinned side by side) in the browser's storage (IndexedDB, one store of files by name, each
// write one transaction), one tab at a time working on it (a Web Lock), and the page's buttons that export and
// import it. The page (page.js) reads the stored file before the program starts and hands the program's saves here.
window.createMoxStorage = function (stock, page) {
  'use strict';
  // page: {notice(text), messageBox(text, caption), ready() (the program runs), checkSave(bytes) (whether the
  // program loads them as a save file)}.
  const $ = function (id) { return document.getElementById(id); };
  const SAVE = 'MOXdata';
  const MAX_SAVE_BYTES = 64 * 1024;  // Files::kMaxFileBytes
  let store = null;       // IndexedDB, or null when the browser gives the page no storage
  let saved = null;       // the stored save file's bytes, as last written
  let unsaved = null;     // a save file the browser's storage refused, newer than `saved`

  // ---- storage ----
  // The storage the page's head began opening; opened anew once the browser cleared it.
  let opened = stock.store;
  function openStore() {
    const s = opened || stock.open();
    opened = null;
    return s.then(function (db) { return db && watchStore(db); });
  }
  function readStored(name) {
    return new Promise(function (resolve) {
      try {
        const r = store.transaction('files', 'readonly').objectStore('files').get(name);
        r.onsuccess = function () { resolve(r.result instanceof Uint8Array ? r.result : null); };
        r.onerror = function () { resolve(null); };
      } catch (e) {
        resolve(null);
      }
    });
  }
  // The browser may clear the page's storage while it is open (the user clears the site's data): the stock on
  // screen stays, the next save stores it again.
  let storeLost = false;
  function watchStore(s) {
    const lost = function () {
      if (store !== s) return;
      try { s.close(); } catch (e) { /* closed already */ }
      store = null;
      storeLost = true;
      page.notice('浏览器清除了本页保存的数据。模拟器里的库存还在：点「保存」会重新存进浏览器，也可以点「导出存档」存成文件。');
    };
    s.onclose = lost;
    s.onversionchange = lost;
    return s;
  }
  // Stores the file as one step: either the transaction completes and the new bytes are there, or the previous
  // ones stay. Resolves true or false; a failure says in the page why, and what to do.
  function writeStored(name, bytes) {
    const reopened = !store && storeLost ? openStore().then(function (s) { store = s; }) : Promise.resolve();
    return reopened.then(function () {
      return new Promise(function (resolve) {
        const failed = function (error) {
          // The program says itself what a file other than the stock was (the plans pinned side by side).
          if (name !== SAVE) {
            resolve(false);
            return;
          }
          if (error && error.name === 'QuotaExceededError') {
            page.notice('浏览器给本页的存储空间满了，刚才的库存没能保存（之前保存的还在）。请点「导出存档」把现在的库存存成文件，再清理浏览器的空间。');
          } else if (store && holding !== false) {
            page.notice('库存没能写进浏览器的存储（之前保存的还在）。请点「导出存档」把现在的库存存成文件。');
          }
          resolve(false);
        };
        if (!store || holding === false) { failed(null); return; }
        try {
          const t = store.transaction('files', 'readwrite');
          t.objectStore('files').put(bytes, name);
          t.oncomplete = function () {
            if (name === SAVE) { saved = bytes; unsaved = null; }
            // Ask the browser not to clear the stock when it runs short of room (it may decline).
            if (navigator.storage && navigator.storage.persist) navigator.storage.persist().catch(function () {});
            resolve(true);
          };
          t.onerror = t.onabort = function () { failed(t.error); };
        } catch (e) {
          failed(e);
        }
      });
    });
  }

  // ---- one stock across tabs: one tab works on it at a time (a Web Lock the browser frees when the tab closes or
  // crashes); another says so and offers to take over, which loads the newest stored stock. A tab that waits
  // takes over by itself when the working one closes. ----
  let holding = null;  // true: this tab works on the stock; false: another does; null: the browser has no locks
  function stockElsewhere(text) {
    holding = false;
    $('tabs-text').textContent = text;
    $('tabs').hidden = false;
  }
  // Resolves once the page's head has the lock or knows another tab keeps it.
  function holdStock() {
    if (!stock.held) return Promise.resolve();
    const forever = new Promise(function () {});  // a lock is held for as long as the page lives
    return stock.held.then(function (held) {
      if (held) {
        holding = true;
        stock.lost.then(function () {
          stockElsewhere('库存已交给另一个标签页使用：这里的改动不再保存。要回到这里，点「在这里使用」，会载入最新保存的库存。');
        });
        return;
      }
      stockElsewhere('库存正在另一个标签页里使用：这里可以看、可以试，但改动不会保存。要在这里继续，点「在这里使用」，会载入最新保存的库存，那边就不再保存。');
      // When that tab closes, this one takes over with the stock it left.
      navigator.locks.request(stock.LOCK, function () { takeOver(); return forever; }).catch(function () {});
    });
  }
  function takeOver() {
    try { sessionStorage.setItem(stock.TAKE, '1'); } catch (e) { /* the lock is asked for as any tab's */ }
    location.reload();
  }
  $('take-over').addEventListener('click', takeOver);
  let refusedForTab = false;  // a save was refused because another tab works on the stock
  const ELSEWHERE = {
    save: '库存正在另一个标签页里使用，这里的改动没有保存。要在这里保存，先点页面上方的「在这里使用」。',
    load: '库存正在另一个标签页里使用，这里不能导入存档。要在这里导入，先点页面上方的「在这里使用」。',
  };

  function download(name, bytes) {
    try {
      // Binary, so that no browser adds ".txt" to the name.
      const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
      const a = document.createElement('a');
      a.href = url;
      a.download = name;
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(function () { URL.revokeObjectURL(url); }, 60000);
      return true;
    } catch (e) {
      return false;
    }
  }

  // ---- the save file's buttons ----
  $('export-save').addEventListener('click', function () {
    if (!unsaved && !saved) {
      page.messageBox('还没有存档可导出：先在模拟器里点「保存」。', '导出存档');
      return;
    }
    download(SAVE, unsaved || saved);
  });
  $('import-save').addEventListener('change', function () {
    const input = this;
    const file = input.files && input.files[0];
    input.value = '';
    if (!file || !page.ready()) return;
    if (holding === false) {
      page.messageBox(ELSEWHERE.load, '导入存档');
      return;
    }
    const refuse = function () {
      page.messageBox('「' + file.name + '」不是 moxsim 的存档，什么也没有载入，库存没有改动。', '导入存档');
    };
    if (file.size > MAX_SAVE_BYTES) { refuse(); return; }
    file.arrayBuffer().then(function (buffer) {
      const bytes = new Uint8Array(buffer);
      if (!page.checkSave(bytes)) { refuse(); return; }
      writeStored(SAVE, bytes).then(function (written) {
        if (!written) {
          page.messageBox('存档没能写进浏览器的存储，库存没有改动。', '导入存档');
          return;
        }
        // The program starts again with the imported stock, as a desktop program started beside that file.
        location.reload();
      });
    }, refuse);
  });

  return {
    SAVE: SAVE,
    // The storage opened and the lock settled: resolves to the stored save file's bytes, or null.
    load: function () {
      return Promise.all([openStore(), holdStock()]).then(function (r) {
        store = r[0];
        return store ? readStored(SAVE) : null;
      }).then(function (bytes) {
        saved = bytes;
        return bytes;
      });
    },
    // Another stored file's bytes (after load), or null: the plans pinned side by side.
    read: function (name) { return store ? readStored(name) : Promise.resolve(null); },
    PLANS: 'MOXplans',
    // Whether the browser gave the page storage.
    available: function () { return !!store; },
    // A file the program saves; a save file the browser would not keep is kept for 导出存档.
    store: function (name, bytes) {
      refusedForTab = holding === false;
      return writeStored(name, bytes).then(function (ok) {
        if (!ok && name === SAVE) unsaved = bytes;
        return ok;
      });
    },
    // The program's box for a save another tab's stock refused says why.
    explain: function (text) {
      const out = refusedForTab ? text + '\n' + ELSEWHERE.save : text;
      refusedForTab = false;
      return out;
    },
    download: download,
  };
};
