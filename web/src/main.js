// The page: files in, settings, conversion in a worker, the file list and
// the outputs (one zip, a download per file, or a folder of the user's).
import { zipSync, strToU8 } from "fflate";
import { volumeChart } from "./chart.js";

const OUTPUT = "KELDRO_Output";
const RESULT_FILE = "KELDRO_result.txt";
const STORAGE_KEY = "keldro.settings";
const VOLUME_NAMES = ["db", "mg", "mv", ...Array.from({ length: 16 }, (_, i) => `c${i + 1}`), "ca"];

const $ = (id) => document.getElementById(id);
const form = $("settings");
const tbody = document.querySelector("#files tbody");

// ---- The worker: one request, one answer. ----
const worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
const pending = new Map();
let nextId = 1;
let workerReady = false;
function ask(message, transfer = []) {
  const id = nextId++;
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject });
    worker.postMessage({ ...message, id }, transfer);
  });
}
worker.onmessage = ({ data }) => {
  if (data.type === "ready") {
    workerReady = true;
    setStatus("Ready. Add files to convert.");
    updateButtons();
    return;
  }
  if (data.type === "broken") return setStatus(`The converter could not start: ${data.message}`);
  const p = pending.get(data.id);
  if (!p) return;
  pending.delete(data.id);
  if (data.error) p.reject(new Error(data.error));
  else p.resolve(data);
};

// ---- Settings, remembered in this browser. ----
function buildChannelInputs() {
  const box = $("channels");
  for (const name of VOLUME_NAMES.slice(3)) {
    const label = document.createElement("label");
    label.append(name === "ca" ? "ADPCM " : `Channel ${name.slice(1)} `);
    const input = document.createElement("input");
    Object.assign(input, { name, type: "number", min: 0, max: 127, step: 1, inputMode: "numeric" });
    label.append(input);
    box.append(label);
  }
}

function formState() {
  const state = {};
  for (const e of form.elements) if (e.name) state[e.name] = e.type === "checkbox" ? e.checked : e.value;
  return state;
}

function restoreSettings() {
  let saved = {};
  try {
    saved = JSON.parse(localStorage.getItem(STORAGE_KEY) || "{}");
  } catch {
    saved = {};
  }
  for (const e of form.elements) {
    if (!e.name || !(e.name in saved)) continue;
    if (e.type === "checkbox") e.checked = Boolean(saved[e.name]);
    else e.value = String(saved[e.name]);
  }
}

function normalizing() {
  return form.elements.normalizeOn.checked;
}

// The values go to the core as typed, the way keldro-batch passes its options on.
function conversionSettings() {
  const s = { regulate: form.elements.regulate.checked };
  if (normalizing()) {
    s.normalize = form.elements.normalize.value;
    return s;
  }
  for (const name of VOLUME_NAMES) {
    const v = form.elements[name].value;
    if (v !== "") s[name] = v;
  }
  return s;
}

function onSettingsChanged() {
  const n = normalizing();
  for (const name of VOLUME_NAMES) form.elements[name].disabled = n;
  form.elements.normalize.disabled = !n;
  try {
    localStorage.setItem(STORAGE_KEY, JSON.stringify(formState()));
  } catch {
    // Storage may be full or off: the settings are then simply not remembered.
  }
}

// ---- The file list. ----
const items = []; // { path, file, mode, row, outcome }
let lastRun = null; // { done: [...items], cancelled }

function cell(row, label, className) {
  const td = document.createElement("td");
  td.dataset.label = label;
  if (className) td.className = className;
  row.append(td);
  return td;
}

function makeRow(item, reason) {
  const row = document.createElement("tr");
  const name = cell(row, "File");
  name.textContent = item.path;
  item.cells = {
    kind: cell(row, "Kind"),
    result: cell(row, "Result", "result"),
    before: cell(row, "Peak before", "num"),
    after: cell(row, "Peak after", "num"),
    chart: cell(row, "Volumes over time"),
    output: cell(row, "Output"),
  };
  if (!item.mode) {
    row.className = "skipped";
    item.cells.result.textContent = `Skipped: ${reason}`;
  } else {
    item.cells.result.textContent = "Waiting";
  }
  item.row = row;
  tbody.append(row);
}

function dbText(value) {
  return value === null || value === undefined ? "–" : `${value.toFixed(1)} dB`;
}

function changeText(tenths) {
  if (tenths === undefined) return "";
  if (tenths === null) return " (unchanged)";
  return ` (${tenths >= 0 ? "+" : ""}${(tenths / 10).toFixed(1)} dB)`;
}

function renderOutcome(item) {
  const o = item.outcome;
  const ok = o.result === 0 || o.result === 1;
  item.row.className = ok ? "done" : "failed";
  item.cells.kind.textContent = o.before.kindText;
  item.cells.result.textContent = o.message + changeText(o.changeTenths);
  item.cells.before.textContent = dbText(o.before.peakDb);
  item.cells.after.textContent = o.after ? dbText(o.after.peakDb) : "–";
  item.cells.chart.replaceChildren(ok ? volumeChart(o.changes) : "");
  item.cells.output.replaceChildren();
  if (ok) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(new Blob([o.bytes], { type: "application/octet-stream" }));
    a.download = item.path.split("/").pop();
    a.textContent = "Download";
    a.setAttribute("aria-label", `Download ${item.path}`);
    item.cells.output.append(a);
  }
}

function clearOutcome(item) {
  const link = item.cells.output.querySelector("a");
  if (link) URL.revokeObjectURL(link.href);
  item.outcome = null;
  if (!item.mode) return;
  item.row.className = "";
  for (const c of ["kind", "before", "after", "chart", "output"]) item.cells[c].replaceChildren();
  item.cells.result.textContent = "Waiting";
}

function summarize() {
  const convertible = items.filter((i) => i.mode).length;
  const skipped = items.length - convertible;
  $("summary").textContent = items.length
    ? `${convertible} file${convertible === 1 ? "" : "s"} to convert${skipped ? `, ${skipped} skipped` : ""}.`
    : "No files yet.";
}

// Folders are walked depth first with their entries sorted by name, as
// keldro-batch walks them; paths are relative to what was dropped or picked.
function byPathElements(a, b) {
  const x = a.path.split("/"), y = b.path.split("/");
  for (let i = 0; i < Math.min(x.length, y.length); i++) if (x[i] !== y[i]) return x[i] < y[i] ? -1 : 1;
  return x.length - y.length;
}

async function addFiles(found) {
  const fresh = found.filter((f) => !items.some((i) => i.path === f.path));
  if (fresh.length === 0) return;
  await ready;
  const { modes, reason } = await ask({ type: "modes", names: fresh.map((f) => f.path) });
  fresh.forEach((f, n) => {
    const item = { ...f, mode: modes[n], outcome: null };
    items.push(item);
    makeRow(item, reason);
  });
  lastRun = null;
  summarize();
  updateButtons();
}

function filesOfInput(input) {
  const list = [...input.files].map((file) => ({ path: file.webkitRelativePath || file.name, file }));
  if (list.some((f) => f.path.includes("/"))) list.sort(byPathElements);
  return list;
}

function readAllEntries(reader) {
  return new Promise((resolve, reject) => {
    const all = [];
    const next = () =>
      reader.readEntries((batch) => {
        if (batch.length === 0) return resolve(all);
        all.push(...batch);
        next();
      }, reject);
    next();
  });
}

async function walkEntry(entry, out) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    out.push({ path: entry.fullPath.replace(/^\//, ""), file });
  } else if (entry.isDirectory) {
    const children = await readAllEntries(entry.createReader());
    children.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
    for (const child of children) await walkEntry(child, out);
  }
}

async function filesOfDrop(dataTransfer) {
  const entries = [...dataTransfer.items].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
  if (entries.length === 0) return [...dataTransfer.files].map((file) => ({ path: file.name, file }));
  const out = [];
  for (const e of entries) await walkEntry(e, out);
  return out;
}

// ---- Converting. ----
let running = false;
let cancelRequested = false;

function setStatus(text) {
  $("status").textContent = text;
}

function updateButtons() {
  const convertible = items.some((i) => i.mode);
  $("convert").disabled = running || !workerReady || !convertible;
  $("cancel").disabled = !running;
  $("clear").disabled = running || items.length === 0;
  const hasOutput = !running && lastRun && lastRun.done.length > 0;
  $("download-zip").disabled = !hasOutput;
  $("save-folder").disabled = !hasOutput;
}

async function convertAll() {
  if (!form.reportValidity()) return;
  const settings = conversionSettings();
  const todo = items.filter((i) => i.mode);
  running = true;
  cancelRequested = false;
  lastRun = null;
  todo.forEach(clearOutcome);
  updateButtons();
  const progress = $("progress");
  progress.max = todo.length;
  progress.value = 0;
  const started = performance.now();
  const done = [];
  for (const item of todo) {
    if (cancelRequested) break;
    item.cells.result.textContent = "Converting…";
    const bytes = await item.file.arrayBuffer();
    try {
      const answer = await ask(
        { type: "convert", path: item.path, mode: item.mode, bytes, settings, output: `${OUTPUT}/${item.path}` },
        [bytes],
      );
      item.outcome = answer.outcome;
      renderOutcome(item);
      done.push(item);
    } catch (e) {
      item.row.className = "failed";
      item.cells.result.textContent = `Not converted: ${e.message}`;
    }
    progress.value = done.length;
    setStatus(`Converting: ${done.length} of ${todo.length} files…`);
  }
  const ms = performance.now() - started;
  running = false;
  lastRun = { done, cancelled: done.length < todo.length };
  for (const item of todo) if (!item.outcome && item.cells.result.textContent === "Waiting") item.cells.result.textContent = "Not converted (cancelled)";
  const failed = done.filter((i) => !(i.outcome.result === 0 || i.outcome.result === 1)).length;
  const unchanged = done.filter((i) => i.outcome.result === 1).length;
  $("status").dataset.elapsedMs = ms.toFixed(1);
  $("status").dataset.state = lastRun.cancelled ? "cancelled" : "done";
  setStatus(
    (lastRun.cancelled ? `Cancelled after ${done.length} of ${todo.length} files. ` : `Done in ${(ms / 1000).toFixed(2)} s. `) +
      `Converted: ${done.length - unchanged - failed}, unchanged: ${unchanged}, failed: ${failed}.`,
  );
  updateButtons();
}

// ---- Outputs: the same tree keldro-batch writes into its output folder. ----
function outputTree() {
  const files = [];
  let results = "";
  for (const item of lastRun.done) {
    const o = item.outcome;
    results += o.logEntry;
    if (o.result === 0 || o.result === 1) files.push([item.path, o.bytes]);
  }
  if (results) files.push([RESULT_FILE, strToU8(results, true)]);
  return files;
}

function downloadZip() {
  const tree = {};
  for (const [path, bytes] of outputTree()) tree[`${OUTPUT}/${path}`] = bytes;
  const zip = zipSync(tree, { level: 6 });
  const a = document.createElement("a");
  a.href = URL.createObjectURL(new Blob([zip], { type: "application/zip" }));
  a.download = `${OUTPUT}.zip`;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 60000);
}

async function saveToFolder() {
  let root;
  try {
    root = await window.showDirectoryPicker({ mode: "readwrite" });
  } catch {
    return; // the user closed the picker
  }
  try {
    const out = await root.getDirectoryHandle(OUTPUT, { create: true });
    for (const [path, bytes] of outputTree()) {
      const parts = path.split("/");
      let dir = out;
      for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
      const handle = await dir.getFileHandle(parts[parts.length - 1], { create: true });
      // A writable stream lands whole on close(), or not at all.
      const w = await handle.createWritable();
      await w.write(bytes);
      await w.close();
    }
    setStatus(`Saved into the folder ${root.name}/${OUTPUT}.`);
  } catch (e) {
    setStatus(`Could not save into the folder: ${e.message}`);
  }
}

// ---- Wiring. ----
let markReady;
const ready = new Promise((resolve) => (markReady = resolve));

function init() {
  buildChannelInputs();
  restoreSettings();
  onSettingsChanged();
  form.addEventListener("input", onSettingsChanged);
  form.addEventListener("change", onSettingsChanged);
  form.addEventListener("submit", (e) => e.preventDefault());
  for (const id of ["pick-files", "pick-folder"]) {
    $(id).addEventListener("change", async (e) => {
      await addFiles(filesOfInput(e.target));
      e.target.value = "";
    });
  }
  const drop = $("drop");
  for (const type of ["dragenter", "dragover"])
    document.addEventListener(type, (e) => {
      e.preventDefault();
      drop.classList.add("over");
    });
  document.addEventListener("dragleave", (e) => {
    if (!e.relatedTarget) drop.classList.remove("over");
  });
  document.addEventListener("drop", async (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    if (!running) await addFiles(await filesOfDrop(e.dataTransfer));
  });
  $("clear").addEventListener("click", () => {
    items.forEach(clearOutcome);
    items.length = 0;
    tbody.replaceChildren();
    lastRun = null;
    summarize();
    updateButtons();
  });
  $("convert").addEventListener("click", convertAll);
  $("cancel").addEventListener("click", () => {
    cancelRequested = true;
    setStatus("Cancelling: the file under way finishes…");
  });
  $("download-zip").addEventListener("click", downloadZip);
  if (typeof window.showDirectoryPicker === "function") {
    $("save-folder").hidden = false;
    $("save-folder").addEventListener("click", saveToFolder);
  }
  markReady();
  updateButtons();
}

if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", init);
else init();
