// Puts the page together: the scripts bundled with esbuild (fflate included,
// so nothing is fetched at run time), the page and the core's module.
// Usage: node build.mjs WASM_DIR OUT_DIR
import { build } from "esbuild";
import { copyFileSync, mkdirSync, rmSync } from "node:fs";
import { join } from "node:path";

const [wasmDir, outDir] = process.argv.slice(2);
if (!wasmDir || !outDir) {
  console.error("usage: node build.mjs WASM_DIR OUT_DIR");
  process.exit(2);
}
const here = new URL(".", import.meta.url).pathname;
rmSync(outDir, { recursive: true, force: true });
mkdirSync(outDir, { recursive: true });
await build({
  entryPoints: [join(here, "src/main.js"), join(here, "src/worker.js")],
  outdir: outDir,
  bundle: true,
  format: "esm",
  target: "es2020",
  minify: true,
  // The core's module stays a file of its own beside the worker, with its .wasm.
  external: ["./keldro.mjs"],
  logLevel: "warning",
});
for (const f of ["index.html", "style.css"]) copyFileSync(join(here, "src", f), join(outDir, f));
for (const f of ["keldro.mjs", "keldro.wasm"]) copyFileSync(join(wasmDir, f), join(outDir, f));
