import assert from "node:assert/strict";
import { test } from "node:test";
import { unzipSync } from "fflate";
import { DEFLATE_FROM, FOLD_BYTES, zipOf } from "../../src/zip.js";

// Bytes that do not compress, so the zip is as large as its files.
function noise(n, seed) {
  const bytes = new Uint8Array(n);
  for (let i = 0; i < n; i++) bytes[i] = (seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) >>> 24;
  return bytes;
}

test("a zip of several folds holds every file whole, stored and deflated, and the result file last", async () => {
  const entries = [];
  for (let i = 0; i < 2400; i++) entries.push({ path: `KELDRO_Output/d${i % 7}/f${i}.mmf`, bytes: noise(DEFLATE_FROM - 1000, i + 1) });
  for (let i = 0; i < 2; i++) entries.push({ path: `KELDRO_Output/large${i}.mld`, bytes: noise(1 << 20, i + 9000) });
  const result = "IN:ß.mmf\r\n";
  const blob = zipOf(entries, result, "KELDRO_Output/KELDRO_result.txt");
  assert.ok(blob.size > 2 * FOLD_BYTES, `${blob.size} bytes`);
  const zip = unzipSync(new Uint8Array(await blob.arrayBuffer()));
  assert.deepEqual(Object.keys(zip), [...entries.map((e) => e.path), "KELDRO_Output/KELDRO_result.txt"]);
  for (const { path, bytes } of entries) assert.ok(Buffer.from(zip[path]).equals(Buffer.from(bytes)), path);
  assert.equal(Buffer.from(zip["KELDRO_Output/KELDRO_result.txt"]).toString("utf8"), result);
});
