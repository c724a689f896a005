// Serves the built page on the loopback interface until stopped.
// Usage: node serve.mjs DIR [PORT]
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize, sep } from "node:path";

const [dir, port = "8080"] = process.argv.slice(2);
const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".wasm": "application/wasm",
  ".webmanifest": "application/manifest+json",
  ".svg": "image/svg+xml",
  ".png": "image/png",
};
const root = normalize(dir) + sep;

createServer(async (req, res) => {
  const path = decodeURIComponent(new URL(req.url, "http://localhost").pathname);
  const file = normalize(join(root, path.endsWith("/") ? path + "index.html" : path));
  if (!file.startsWith(root) || !(extname(file) in types)) {
    res.writeHead(404).end();
    return;
  }
  try {
    const body = await readFile(file);
    res.writeHead(200, { "Content-Type": types[extname(file)], "Cache-Control": "no-cache" }).end(body);
  } catch {
    res.writeHead(404).end();
  }
}).listen(Number(port), "127.0.0.1", () => console.log(`KELDRO: http://127.0.0.1:${port}/ (Ctrl-C stops)`));
