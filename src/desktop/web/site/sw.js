// The site's service worker: one version of the site kept whole in a cache of its own, so that the page opens and
// runs without the network after one visit. scripts/build-web.sh writes the version (a digest of the site's files)
// and the list of files. A new version is fetched whole in the background and waits; the page lets it take over
// once it has all its own files (never a new script with an old module), and the next load is the new version.
'use strict';
const VERSION = '@VERSION@';
const FILES = [/*@FILES@*/];
const CACHE = 'moxsim-' + VERSION;

// The site's files as the host sends them, or null when they are not this version's (the digest of their bytes,
// in the order of FILES, is VERSION): fetched while the host changed, or a stale copy in the browser's cache.
function fetchSite(mode) {
  return Promise.all(FILES.map(function (f) { return fetch(new Request(f, {cache: mode})); })).then(function (rs) {
    if (!rs.every(function (r) { return r.ok; })) return null;
    return Promise.all(rs.slice(1).map(function (r) { return r.clone().arrayBuffer(); })).then(function (bodies) {
      const all = new Uint8Array(bodies.reduce(function (n, b) { return n + b.byteLength; }, 0));
      let at = 0;
      bodies.forEach(function (b) { all.set(new Uint8Array(b), at); at += b.byteLength; });
      return crypto.subtle.digest('SHA-256', all);
    }).then(function (digest) {
      const hex = Array.from(new Uint8Array(digest).slice(0, 8), function (b) {
        return b.toString(16).padStart(2, '0');
      }).join('');
      return hex === VERSION ? rs : null;
    });
  });
}

// A version is kept only whole: what the browser already holds is taken if it is this version's, else fetched
// again from the host; a site that changes meanwhile installs nothing (the next visit tries again).
self.addEventListener('install', function (e) {
  e.waitUntil(fetchSite('default').then(function (rs) { return rs || fetchSite('reload'); }).then(function (rs) {
    if (!rs) throw new Error('the site changed while it was fetched');
    return caches.open(CACHE).then(function (cache) {
      return Promise.all(rs.map(function (r, i) { return cache.put(FILES[i], r); }));
    });
  }));
});

self.addEventListener('activate', function (e) {
  e.waitUntil(caches.keys().then(function (keys) {
    return Promise.all(keys.filter(function (k) { return k.startsWith('moxsim-') && k !== CACHE; })
      .map(function (k) { return caches.delete(k); }));
  }));
});

self.addEventListener('message', function (e) {
  if (e.data === 'take-over') self.skipWaiting();
});

self.addEventListener('fetch', function (e) {
  const r = e.request;
  if (r.method !== 'GET' || new URL(r.url).origin !== location.origin) return;
  e.respondWith(caches.match(r, {cacheName: CACHE, ignoreSearch: true}).then(function (hit) {
    if (hit) return hit;
    if (r.mode !== 'navigate') return fetch(r);
    return caches.match('./', {cacheName: CACHE}).then(function (page) { return page || fetch(r); });
  }));
});
