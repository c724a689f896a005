// KELDRO_Output.zip as a Blob: fflate's streaming zip, one file at a time;
// the zip's pieces are gathered into the Blob as they come, so no second
// whole copy is held. Pure (no DOM): run in zip-worker.js, tested under Node.
import { Zip, ZipDeflate, ZipPassThrough } from "fflate";

// Pieces are folded into the Blob every few megabytes.
export const FOLD_BYTES = 8 << 20;
// Deflating costs a fixed setup per file (its tables), which for a small
// ringtone outweighs the few hundred bytes it saves: 3 000 small files take
// seconds deflated and a tenth of that stored. Larger files are deflated.
export const DEFLATE_FROM = 8 << 10;

// entries: [{ path, bytes }], then the result file (UTF-8, as keldro-batch
// writes it: names as they are) when there is one.
export function zipOf(entries, resultText, resultPath) {
  let blob = new Blob([]);
  let pieces = [], size = 0, error = null;
  const fold = () => {
    blob = new Blob([blob, ...pieces], { type: "application/zip" });
    pieces = [];
    size = 0;
  };
  const zip = new Zip((err, chunk) => {
    if (err) return (error = err);
    pieces.push(chunk);
    size += chunk.length;
    if (size >= FOLD_BYTES) fold();
  });
  const add = (path, bytes) => {
    const file = bytes.length >= DEFLATE_FROM ? new ZipDeflate(path, { level: 6 }) : new ZipPassThrough(path);
    zip.add(file);
    file.push(bytes, true);
  };
  for (const { path, bytes } of entries) add(path, bytes);
  if (resultText) add(resultPath, new TextEncoder().encode(resultText));
  zip.end();
  if (error) throw error;
  fold();
  return blob;
}
