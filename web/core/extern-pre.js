// Under Node the generated loader reads its .wasm with CommonJS names, which an
// ES module lacks: they are made here. Browsers and workers skip this.
const keldroOnNode =
  typeof process == "object" && typeof process.versions == "object" && typeof process.versions.node == "string";
var require, __dirname;
if (keldroOnNode) {
  const { createRequire } = await import("module");
  require = createRequire(import.meta.url);
  __dirname = require("path").dirname(require("url").fileURLToPath(import.meta.url));
}
