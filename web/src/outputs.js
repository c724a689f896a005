// Outputs: the tree keldro-batch writes into its output folder (the outputs
// in their folders and KELDRO_result.txt), as one zip built in a worker, or
// written into a folder of the person's choosing; and one file at a time.
import { isSuccess } from "./outcome.js";
import { OUTPUT, RESULT_FILE } from "./state.js";

// items: the current outcomes in the order the files were added.
export function outputTree(items) {
  const files = [];
  let results = "";
  for (const item of items) {
    results += item.outcome.logEntry;
    if (isSuccess(item.outcome)) files.push({ path: item.path, bytes: item.outcome.bytes });
  }
  return { files, results };
}

function save(blob, name) {
  const a = document.createElement("a");
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

export function downloadOne(item) {
  save(new Blob([item.outcome.bytes], { type: "application/octet-stream" }), item.path.split("/").pop());
}

let zipper = null;
let zipId = 0;
// The zip's worker is started with the page, so that making a zip asks the
// network for nothing.
export function startZipper() {
  zipper = new Worker(new URL("./zip-worker.js", import.meta.url), { type: "module" });
}

export function zipOf(items) {
  const { files, results } = outputTree(items);
  const id = ++zipId;
  const entries = files.map((f) => ({ path: `${OUTPUT}/${f.path}`, bytes: f.bytes }));
  return new Promise((resolve, reject) => {
    zipper.onmessage = ({ data }) => {
      if (data.id !== id) return;
      if (data.error) reject(new Error(data.error));
      else resolve(data.blob);
    };
    // The outputs are copied into the worker (the list keeps its own for
    // the next download); the zip comes back as a Blob.
    zipper.postMessage({ id, entries, resultText: results, resultPath: `${OUTPUT}/${RESULT_FILE}` });
  });
}

export async function downloadZip(items) {
  save(await zipOf(items), `${OUTPUT}.zip`);
}

export async function saveToFolder(items) {
  let root;
  try {
    root = await window.showDirectoryPicker({ mode: "readwrite" });
  } catch {
    return null; // the person closed the picker
  }
  const { files, results } = outputTree(items);
  if (results) files.push({ path: RESULT_FILE, bytes: new TextEncoder().encode(results) });
  const out = await root.getDirectoryHandle(OUTPUT, { create: true });
  for (const { path, bytes } of files) {
    const parts = path.split("/");
    let dir = out;
    for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
    const handle = await dir.getFileHandle(parts[parts.length - 1], { create: true });
    // A writable stream lands whole on close(), or not at all.
    const w = await handle.createWritable();
    await w.write(bytes);
    await w.close();
  }
  return `${root.name}/${OUTPUT}`;
}
