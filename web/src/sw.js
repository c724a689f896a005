// Keeps the page and the converter in the browser's cache, so that after
// one visit the page loads and converts without the network. The build
// writes in the list of files and a version drawn from their contents: a
// new build is a new cache, and the old one is dropped once it takes over.
const VERSION = "__VERSION__";
const FILES = __FILES__;
const CACHE = `keldro-${VERSION}`;

self.addEventListener("install", (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(
    caches.keys()
      .then((keys) => Promise.all(keys.filter((k) => k.startsWith("keldro-") && k !== CACHE).map((k) => caches.delete(k))))
      .then(() => self.clients.claim()),
  );
});

// The cache first; the network for anything it lacks. Opening the page
// (with files handed to the installed app, too) is answered by index.html.
self.addEventListener("fetch", (event) => {
  const request = event.request;
  if (request.method !== "GET" || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(
    caches.open(CACHE).then(async (cache) => {
      const hit = await cache.match(request, { ignoreSearch: true });
      if (hit) return hit;
      if (request.mode === "navigate") {
        const page = await cache.match("./index.html");
        if (page) return page;
      }
      return fetch(request);
    }),
  );
});
