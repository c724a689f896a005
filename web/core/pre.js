// Under Node the .wasm beside the module is read from disk, not fetched: the
// loader would otherwise try fetch() on a file: address, which Node refuses.
if (keldroOnNode && !Module["wasmBinary"]) {
  Module["wasmBinary"] = require("fs").readFileSync(require("path").join(__dirname, "keldro.wasm"));
}
