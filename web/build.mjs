// Puts the page together: the scripts bundled with esbuild (fflate included,
// so nothing is fetched at run time), the page, its manifest and icons, the
// core's module, and the service worker that caches all of them.
// Usage: node build.mjs WASM_DIR OUT_DIR
import { build } from "esbuild";
import { createHash } from "node:crypto";
import { copyFileSync, mkdirSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { crc32, deflateSync } from "node:zlib";

const [wasmDir, outDir] = process.argv.slice(2);
if (!wasmDir || !outDir) {
  console.error("usage: node build.mjs WASM_DIR OUT_DIR");
  process.exit(2);
}
const here = new URL(".", import.meta.url).pathname;
rmSync(outDir, { recursive: true, force: true });
mkdirSync(outDir, { recursive: true });
await build({
  entryPoints: ["main.js", "worker.js", "zip-worker.js"].map((f) => join(here, "src", f)),
  outdir: outDir,
  bundle: true,
  format: "esm",
  target: "es2020",
  minify: true,
  // The core's module stays a file of its own beside the worker, with its .wasm.
  external: ["./keldro.mjs"],
  logLevel: "warning",
});
for (const f of ["index.html", "style.css", "manifest.webmanifest", "icon.svg"]) copyFileSync(join(here, "src", f), join(outDir, f));
for (const f of ["keldro.mjs", "keldro.wasm"]) copyFileSync(join(wasmDir, f), join(outDir, f));

// The icon as PNG too (some systems install only those): the same three
// white bars on blue, drawn on a 16 x 16 grid.
function iconPng(size) {
  const bars = [[3, 8, 5], [7, 5, 8], [11, 3, 10]]; // x, top, height (grid units, 2 wide)
  const row = (y) => {
    const line = Buffer.alloc(1 + size * 4);
    for (let x = 0; x < size; x++) {
      const gx = (x * 16) / size, gy = (y * 16) / size;
      const white = bars.some(([bx, top, h]) => gx >= bx && gx < bx + 2 && gy >= top && gy < top + h);
      line.set(white ? [255, 255, 255, 255] : [0x0b, 0x5c, 0xad, 255], 1 + x * 4);
    }
    return line;
  };
  const chunk = (type, data) => {
    const out = Buffer.alloc(12 + data.length);
    out.writeUInt32BE(data.length, 0);
    out.write(type, 4, "latin1");
    data.copy(out, 8);
    out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
    return out;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 6, 0, 0, 0], 8); // 8 bits per channel, RGBA
  const pixels = Buffer.concat(Array.from({ length: size }, (_, y) => row(y)));
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk("IHDR", header),
    chunk("IDAT", deflateSync(pixels)), chunk("IEND", Buffer.alloc(0))]);
}
for (const size of [192, 512]) writeFileSync(join(outDir, `icon-${size}.png`), iconPng(size));

// The service worker caches every file of the page; its version is drawn
// from their contents, so each build that changes them replaces the cache.
const files = readdirSync(outDir).sort();
const hash = createHash("sha256");
for (const f of files) hash.update(f).update(readFileSync(join(outDir, f)));
const sw = readFileSync(join(here, "src/sw.js"), "utf8")
  .replace("__VERSION__", hash.digest("hex").slice(0, 16))
  .replace("__FILES__", JSON.stringify(["./", ...files]));
writeFileSync(join(outDir, "sw.js"), sw);
