// Builds KELDRO_Output.zip away from the page: fflate's streaming zip,
// one file at a time; the zip's pieces are gathered into a Blob as they
// come, so no second whole copy is held here and none on the page.
import { Zip, ZipDeflate, ZipPassThrough } from "fflate";

// Pieces are folded into the Blob every few megabytes.
const FOLD_BYTES = 8 << 20;
// Deflating costs a fixed setup per file (its tables), which for a small
// ringtone outweighs the few hundred bytes it saves: 3 000 small files take
// seconds deflated and a tenth of that stored. Larger files are deflated.
const DEFLATE_FROM = 8 << 10;

function zipOf(entries, resultText, resultPath) {
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
  // The result file is UTF-8, as keldro-batch writes it: names as they are.
  if (resultText) add(resultPath, new TextEncoder().encode(resultText));
  zip.end();
  if (error) throw error;
  fold();
  return blob;
}

onmessage = ({ data }) => {
  try {
    postMessage({ id: data.id, blob: zipOf(data.entries, data.resultText, data.resultPath) });
  } catch (e) {
    postMessage({ id: data.id, error: String((e && e.message) || e) });
  }
};
