// The page: files in (intake), settings, conversion in workers (bridge), the
// file list and the outputs, around the state of state.js. This file wires
// them together and keeps the status line and the buttons up to date.
import { WorkerBridge } from "./bridge.js";
import { showDetail } from "./detail.js";
import { filesOfDrop, filesOfInput, filesOfLaunch, sortOut } from "./intake.js";
import { FileList } from "./list-view.js";
import { plural } from "./outcome.js";
import { downloadOne, downloadZip, saveToFolder, startZipper } from "./outputs.js";
import { SettingsForm } from "./settings-form.js";
import {
  OUTPUT, addItem, changed, clearItems, counts, currentOutcomes, isCurrent, isRunning, onChange, removeItem, shownItems, state,
  touch,
} from "./state.js";

const $ = (id) => document.getElementById(id);
let bridge = null;
let list = null;
let zipping = false;

// ---- The converter. ----
function startConverter() {
  if (location.protocol === "file:") {
    // Browsers run no workers for a page opened as a file; index.html says what to do.
    state.converter = $("status").textContent;
    return;
  }
  const count = Math.max(1, Math.min(4, navigator.hardwareConcurrency || 2));
  bridge = new WorkerBridge(new URL("./worker.js", import.meta.url), count);
  startZipper();
  bridge.ready.then(
    () => {
      state.converter = "ready";
      changed();
      inspectWaiting();
    },
    (e) => {
      state.converter = `The converter could not start: ${e.message}`;
      changed();
    },
  );
}

// ---- Files in. ----
async function addFiles(found) {
  if (found.length === 0 || !bridge) return;
  try {
    await bridge.ready;
  } catch {
    return; // the status says why the converter did not start
  }
  const { fresh, again, clashing } = sortOut(found, state.items);
  const all = [...fresh, ...clashing];
  const { modes, reason } = await bridge.request(0, { type: "modes", names: all.map((f) => f.path) });
  all.forEach((f, n) => {
    const mode = n < fresh.length ? modes[n] : null;
    const skipReason = modes[n] ? `same output as an earlier file: ${OUTPUT}/${f.path}` : reason;
    addItem({ path: f.path, file: f.file, mode, skipReason: mode ? null : skipReason });
  });
  const notes = [];
  if (again.length) notes.push(`${plural(again.length, "file")} already in the list ${again.length === 1 ? "was" : "were"} not added again.`);
  if (clashing.length) notes.push(`${plural(clashing.length, "file")} with the path of a file in the list ${clashing.length === 1 ? "is" : "are"} skipped.`);
  state.note = notes.join(" ");
  listChanged();
  if (!isRunning()) inspectWaiting();
}

// Levels (kind, MaxGain, volumes, peak) as soon as files are listed, so a
// person sees what a change will do before converting.
let inspecting = null, inspected = 0, inspectTotal = 0;
async function inspectWaiting() {
  if (!bridge || state.converter !== "ready" || isRunning() || inspecting) return;
  const waiting = state.items.filter((i) => i.mode && !i.levels && !i.outcome);
  if (waiting.length === 0) return;
  const byId = new Map(waiting.map((i) => [i.id, i]));
  inspecting = new AbortController();
  inspected = 0;
  inspectTotal = waiting.length;
  try {
    await bridge.runBatches({ type: "inspect" }, waiting.map((i) => ({ index: i.id, mode: i.mode, file: i.file })), {
      signal: inspecting.signal,
      onAnswers: (answers, worker) => {
        for (const a of answers) {
          const item = byId.get(a.index);
          if (a.levels) item.levels = a.levels;
          item.worker = worker; // which worker has read it
          inspected++;
          touch(item);
        }
      },
    });
  } catch {
    // Stopped for a conversion, which brings the levels along.
  }
  inspecting = null;
  changed();
  inspectWaiting(); // files added meanwhile
}

// ---- Converting. ----
async function convertAll() {
  const settings = state.settings;
  if (!settings.ready || isRunning() || !bridge) return;
  if (inspecting) inspecting.abort();
  const todo = state.items.filter((i) => i.mode);
  for (const item of todo) Object.assign(item, { outcome: null, error: null, cancelled: false }), item.version++;
  const controller = new AbortController();
  const run = { running: true, cancelled: false, total: todo.length, done: 0, started: performance.now(), controller };
  state.run = run;
  state.note = "";
  delete $("status").dataset.state;
  render();
  $("cancel").focus();
  const byId = new Map(todo.map((i) => [i.id, i]));
  const files = todo.map((i) => ({ index: i.id, path: i.path, mode: i.mode, file: i.file, known: Boolean(i.levels) }));
  try {
    await bridge.runBatches({ type: "convert", settings: settings.settings, output: OUTPUT }, files, {
      signal: controller.signal,
      workerOf: (f) => byId.get(f.index).worker,
      onAnswers: (answers) => {
        for (const a of answers) {
          const item = byId.get(a.index);
          if (a.error) item.error = a.error;
          else {
            item.outcome = { ...a.outcome, before: a.outcome.before || item.levels, key: settings.key };
            item.levels = item.outcome.before;
          }
          item.version++;
          run.done++;
        }
        changed();
      },
    });
  } catch (e) {
    if (!controller.signal.aborted) state.note = `The conversion stopped: ${e.message}`;
  }
  for (const item of todo) if (!item.outcome && !item.error) (item.cancelled = true), item.version++;
  run.running = false;
  run.cancelled = run.done < run.total;
  run.ms = performance.now() - run.started;
  run.summary = counts();
  listChanged();
  render();
  ($("download-zip").disabled ? $("convert") : $("download-zip")).focus();
  inspectWaiting();
}

function cancel() {
  if (isRunning()) state.run.controller.abort();
}

// ---- The status line and the buttons. ----
function statusText() {
  if (state.converter !== "ready") return state.converter === "loading" ? "Loading the converter…" : state.converter;
  const run = state.run;
  const c = counts();
  if (run && run.running) return `Converting: ${run.done} of ${run.total} files…`;
  const parts = [];
  if (run) {
    const s = run.summary;
    parts.push(run.cancelled ? `Cancelled after ${run.done} of ${run.total} files.` : `Done in ${(run.ms / 1000).toFixed(2)} s.`);
    parts.push(`Converted: ${s.converted}, unchanged: ${s.unchanged}, failed: ${s.failed}.`);
    if (c.stale) parts.push("The settings have changed since: these results are out of date; convert again to download.");
    else if (c.waiting) parts.push(`${plural(c.waiting, "file")} added since ${c.waiting === 1 ? "is" : "are"} not converted: convert again to include ${c.waiting === 1 ? "it" : "them"}.`);
  } else if (state.items.length === 0) {
    parts.push("Ready. Add files to convert.");
  } else {
    parts.push(`Ready to convert ${plural(c.convertible, "file")}${c.skipped ? ` (${c.skipped} skipped)` : ""}.`);
  }
  if (state.note) parts.push(state.note);
  return parts.join(" ");
}

function convertHint(c) {
  if (state.converter !== "ready") return "";
  if (state.items.length === 0) return "Add files first.";
  if (c.convertible === 0) return "None of the files listed can be converted: only .mmf (TAVI) and .mld (MFi) files.";
  return state.settings.ready ? "" : state.settings.reason;
}

function render() {
  const c = counts();
  const run = state.run;
  const status = $("status");
  const text = statusText();
  if (status.textContent !== text) status.textContent = text;
  if (run && !run.running) {
    status.dataset.state = run.cancelled ? "cancelled" : "done";
    status.dataset.elapsedMs = run.ms.toFixed(1);
  }
  const progress = $("progress");
  progress.max = run ? Math.max(1, run.total) : 1;
  progress.value = run ? run.done : 0;
  const running = isRunning();
  const hint = convertHint(c);
  $("convert").disabled = running || state.converter !== "ready" || c.convertible === 0 || !state.settings.ready;
  $("convert-why").textContent = running ? "" : hint;
  $("cancel").disabled = !running;
  $("clear").disabled = running || state.items.length === 0;
  const downloadable = !running && !zipping && state.items.some(isCurrent);
  $("download-zip").disabled = !downloadable;
  $("save-folder").disabled = !downloadable;
  $("download-why").textContent = !running && c.stale && !downloadable ? "The results are out of date: convert again to download." : "";
  const reading = inspecting ? ` Reading their levels: ${inspected} of ${inspectTotal}…` : "";
  $("summary").textContent = state.items.length
    ? `${plural(c.convertible, "file")} to convert${c.skipped ? `, ${c.skipped} skipped` : ""}.${reading}`
    : "No files yet.";
  renderList();
}

// The list's order is worked out again when files come or go or the
// order is changed; during a run, when it depends on results, once a second.
let shown = null, shownAt = 0;
function listChanged() {
  shown = null;
  changed();
}
function renderList() {
  const { sort, failedOnly } = state.view;
  const dependsOnResults = failedOnly || sort === "result" || sort === "peak" || sort === "kind";
  if (!shown || (dependsOnResults && performance.now() - shownAt > 1000)) {
    shown = shownItems();
    shownAt = performance.now();
  }
  list.show(shown);
  for (const th of document.querySelectorAll("#files th[data-sort]")) {
    const active = th.dataset.sort === sort;
    th.setAttribute("aria-sort", active ? (state.view.descending ? "descending" : "ascending") : "none");
  }
}

// ---- Wiring. ----
function init() {
  // The buttons follow the settings at once, keystroke by keystroke.
  const form = new SettingsForm($("settings"), (settings) => {
    state.settings = settings;
    if (list) render();
  });
  state.settings = form.read();
  list = new FileList($("list"), $("files"), {
    remove: (item) => {
      removeItem(item);
      if (bridge) bridge.forget([item.id]);
      listChanged();
    },
    download: (item) => downloadOne(item),
    open: (item) => showDetail($("detail"), item),
  });
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
    await addFiles(await filesOfDrop(e.dataTransfer));
  });
  if ("launchQueue" in window) {
    window.launchQueue.setConsumer(async (params) => {
      if (params.files && params.files.length) await addFiles(await filesOfLaunch(params.files));
    });
  }
  $("clear").addEventListener("click", () => {
    if (inspecting) inspecting.abort();
    clearItems();
    if (bridge) bridge.forget();
    state.run = null;
    state.note = "";
    delete $("status").dataset.state;
    listChanged();
  });
  $("convert").addEventListener("click", convertAll);
  $("cancel").addEventListener("click", cancel);
  $("download-zip").addEventListener("click", async () => {
    zipping = true;
    render();
    try {
      await downloadZip(currentOutcomes());
    } catch (e) {
      state.note = `The zip could not be made: ${e.message}`;
    }
    zipping = false;
    render();
  });
  if (typeof window.showDirectoryPicker === "function") {
    $("save-folder").hidden = false;
    $("save-folder").addEventListener("click", async () => {
      try {
        const where = await saveToFolder(currentOutcomes());
        if (where) state.note = `Saved into the folder ${where}.`;
      } catch (e) {
        state.note = `Could not save into the folder: ${e.message}`;
      }
      changed();
    });
  }
  $("failed-only").addEventListener("change", (e) => {
    state.view.failedOnly = e.target.checked;
    listChanged();
  });
  for (const th of document.querySelectorAll("#files th[data-sort]")) {
    th.querySelector("button").addEventListener("click", () => {
      // Ascending, descending, then back to the order the files were added in.
      const sort = th.dataset.sort;
      const v = state.view;
      if (v.sort !== sort) Object.assign(v, { sort, descending: false });
      else if (!v.descending) v.descending = true;
      else Object.assign(v, { sort: "added", descending: false });
      listChanged();
    });
  }
  $("detail").querySelector(".close").addEventListener("click", () => $("detail").close());
  onChange(render);
  startConverter();
  render();
  // Cached for use without the network, and installable (where served).
  if ("serviceWorker" in navigator && location.protocol !== "file:") {
    navigator.serviceWorker.register("./sw.js").catch(() => {
      // Without it the page still works online.
    });
  }
}

if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", init);
else init();
