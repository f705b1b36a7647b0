// The site's service worker: one version of the site kept whole in a cache of its own, so that the page opens and
// runs without the network after one visit. scripts/build-web.sh writes the version (a digest of the site's files)
// and the list of files. A new version is fetched whole in the background and waits; the page lets it take over
// once it has all its own files (never a new script with an old module), and the next load is the new version.
'use strict';
const VERSION = '@VERSION@';
const FILES = [@FILES@];
const CACHE = 'moxsim-' + VERSION;

self.addEventListener('install', function (e) {
  e.waitUntil(caches.open(CACHE).then(function (cache) {
    return cache.addAll(FILES.map(function (f) { return new Request(f, {cache: 'reload'}); }));
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
  e.respondWith(caches.open(CACHE).then(function (cache) {
    return cache.match(r, {ignoreSearch: true}).then(function (hit) {
      if (hit) return hit;
      if (r.mode === 'navigate') return cache.match('./').then(function (page) { return page || fetch(r); });
      return fetch(r);
    });
  }));
});
