// The page in Debian's Chromium, driven by playwright-core, against keldro
// and keldro-batch: the examples and a damaged file through the file input
// at -3 dB (outputs, messages and the result file); a folder of non-ASCII
// names (the result file byte for byte, in the zip and saved into a
// folder); a file of a quarter of a million volume changes; settings that
// must not run (empty, "-3,5", out of date); normalising; a second file of
// the same name; 3 000 files with files dropped during the run and no long
// stalls of the page; Cancel; the page again without the network; the page
// opened as a file; no request after loading, labelled controls, the
// keyboard alone, a phone's width.
// Usage: node browser-test.mjs URL BIN_DIR EXAMPLES_DIR ARTIFACTS_DIR
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { unzipSync, strFromU8 } from "fflate";
import { chromium } from "playwright-core";
import { manyVolumeChanges } from "./vq2-file.mjs";

const [url, binDir, examplesDir, artifacts] = [process.argv[2], ...process.argv.slice(3).map((p) => resolve(p))];
mkdirSync(artifacts, { recursive: true });
const tmp = mkdtempSync(join(tmpdir(), "keldro-browser-"));
// The result file's time stamps, which differ between two runs.
const unstamped = (bytes) => Buffer.from(Buffer.from(bytes).toString("latin1").replace(/Data:\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d/g, "Data:-"), "latin1");
const timings = [];

// ---- The files and what the programs make of them. ----
const files = join(tmp, "files");
mkdirSync(files);
const examples = readdirSync(examplesDir).sort();
for (const name of examples) copyFileSync(join(examplesDir, name), join(files, name));
const bell = readFileSync(join(examplesDir, "vq2_bell.mmf"));
writeFileSync(join(files, "vq2_damaged.mmf"), bell.subarray(0, bell.length >> 1));
writeFileSync(join(files, "notes.txt"), "not a ringtone\n");
const given = [...examples, "vq2_damaged.mmf", "notes.txt"];

// A VQ-2 file of about 1 MB: the bell with a quarter of a million volume changes.
const bigName = "vq2_many_changes.mmf";
writeFileSync(join(files, bigName), manyVolumeChanges(bell, 250_000));

// A folder of non-ASCII names, with a subfolder.
const intl = join(tmp, "intl", "着信音");
mkdirSync(join(intl, "Ünter"), { recursive: true });
copyFileSync(join(examplesDir, "vq2_bell.mmf"), join(intl, "着信音.mmf"));
copyFileSync(join(examplesDir, "mfi30_march.mld"), join(intl, "Ré café.mld"));
copyFileSync(join(examplesDir, "vq3_walk.mmf"), join(intl, "Ünter", "ß.mmf"));

// Two files of the same name in two folders.
for (const [dir, source] of [["one", "vq2_bell.mmf"], ["two", "vq3_walk.mmf"]]) {
  mkdirSync(join(tmp, "same", dir), { recursive: true });
  copyFileSync(join(examplesDir, source), join(tmp, "same", dir, "ring.mmf"));
}

const keldroDir = join(tmp, "keldro");
mkdirSync(keldroDir);
copyFileSync(join(binDir, "keldro"), join(keldroDir, "keldro"));
spawnSync("chmod", ["+x", join(keldroDir, "keldro")]);
function keldro(path, args) {
  writeFileSync(join(keldroDir, "KELDRO.ini"), `[SETTING]\nTARGET_FILE=${path.endsWith(".mld") ? 1 : 0}\n`);
  const out = join(keldroDir, `out${path.slice(-4)}`);
  rmSync(out, { force: true });
  const r = spawnSync(join(keldroDir, "keldro"), ["-i", path, "-o", out, ...args], { encoding: "utf8" });
  return { message: r.stderr.trim(), bytes: existsSync(out) ? readFileSync(out) : null };
}
const expected = {}; // name -> { bytes, message } at -3 dB
for (const name of [...given, bigName].filter((n) => /\.(mmf|mld)$/.test(n))) expected[name] = keldro(join(files, name), ["-db", "-3"]);
assert.equal(expected["vq2_damaged.mmf"].bytes, null, "the damaged file must fail in keldro");
assert.ok(expected[bigName].bytes, "keldro converts the file of many changes");

// keldro-batch writes into KELDRO_Output beside the inputs, as the page names its outputs.
function batch(args, cwd) {
  const out = join(cwd, "KELDRO_Output");
  rmSync(out, { recursive: true, force: true });
  const started = performance.now();
  const r = spawnSync(join(binDir, "keldro-batch"), [...args, "--out", "KELDRO_Output"], { cwd, encoding: "utf8" });
  const ms = performance.now() - started;
  const result = join(out, "KELDRO_result.txt");
  return { ...r, ms, out, result: existsSync(result) ? readFileSync(result) : Buffer.alloc(0) };
}
const atMinus3 = batch(["--db", "-3", ...given], files);

// ---- The page. ----
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync"],
});
const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1200, height: 900 } });
const page = await context.newPage();
const pageErrors = [];
page.on("pageerror", (e) => pageErrors.push(String(e)));
await page.goto(url);
await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Ready"));
const requests = [];
page.on("request", (r) => {
  if (!/^(blob|data):/.test(r.url())) requests.push(r.url());
});

const fill = async (name, value) => {
  await page.fill(`#settings [name=${name}]`, value);
};
async function clearList() {
  if (await page.isEnabled("#clear")) await page.click("#clear");
  await page.waitForFunction(() => document.getElementById("summary").textContent === "No files yet.");
}
async function addFiles(input, paths, count) {
  await page.setInputFiles(input, paths);
  await page.waitForFunction((n) => document.getElementById("files").getAttribute("aria-rowcount") === String(n + 1), count);
}
async function convertAndWait() {
  await page.click("#convert");
  await page.waitForSelector("#status[data-state]", { timeout: 120_000 });
  return page.$eval("#status", (s) => ({ state: s.dataset.state, ms: Number(s.dataset.elapsedMs), text: s.textContent }));
}
async function downloadZip(name) {
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#download-zip")]);
  assert.equal(download.suggestedFilename(), "KELDRO_Output.zip");
  const path = join(artifacts, name);
  await download.saveAs(path);
  return unzipSync(new Uint8Array(readFileSync(path)));
}
// The list draws only the rows on screen: scroll through it to read them all.
async function rows() {
  return page.evaluate(async () => {
    const list = document.getElementById("list");
    const frame = () => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    const found = {};
    list.scrollTop = 0;
    for (;;) {
      await frame();
      for (const tr of list.querySelectorAll("tr.row")) {
        const [name, kind, levels, before, result, after] = [...tr.cells].map((c) => c.textContent);
        found[name] = { kind, levels, before, result, after, className: tr.className, paths: tr.querySelectorAll("svg.chart path").length };
      }
      if (list.scrollTop + list.clientHeight >= list.scrollHeight - 1) break;
      list.scrollTop += list.clientHeight;
    }
    list.scrollTop = 0;
    return found;
  });
}
const zipNames = (zip) => Object.keys(zip).map((p) => p.replace("KELDRO_Output/", ""));

// ---- Convert waits for a change: with every field empty it is disabled, and says why. ----
for (const name of ["db", "mg", "mv"]) await fill(name, "");
await addFiles("#pick-files", given.map((n) => join(files, n)), given.length);
assert.doesNotMatch(await page.textContent("#status"), /Add files/, "the status once files are listed");
assert.ok(await page.isDisabled("#convert"), "Convert with every field empty");
assert.match(await page.textContent("#convert-why"), /Choose a change/);

// ---- Levels as soon as the files are listed, before converting. ----
await page.waitForFunction(() => [...document.querySelectorAll("#files tr.row")].some((tr) => tr.cells[1].textContent === "TAVI/VQ-7"));
const listed = await rows();
assert.equal(listed["vq7_chorus.mmf"].kind, "TAVI/VQ-7");
assert.match(listed["vq7_chorus.mmf"].levels, /MaxGain -3\.0 dB/);
assert.match(listed["vq7_chorus.mmf"].before, / dB$/);
assert.equal(listed["vq7_chorus.mmf"].result, "Waiting");

// ---- At -3 dB: keldro's outputs and messages, keldro-batch's result file. ----
await fill("db", "-3");
const run = await convertAndWait();
assert.equal(run.state, "done", run.text);
const focused = await page.evaluate(() => document.activeElement.id);
assert.ok(["download-zip", "convert"].includes(focused), `focus after converting: ${focused || "nowhere"}`);
const converted = await rows();
assert.equal(converted["vq2_damaged.mmf"].result, expected["vq2_damaged.mmf"].message);
assert.match(converted["notes.txt"].result, /^Skipped: not a TAVI \(\.mmf\) or MFi \(\.mld\) file/);
assert.equal(converted["mfi31_waltz.mld"].kind, "MFi/3.1");
for (const name of examples) assert.equal(converted[name].result, expected[name].message, name);
assert.equal(converted["vq2_bell.mmf"].paths, 2, "a chart of the changed volumes: before and after");
await page.locator("#files").screenshot({ path: join(artifacts, "file-list.png") });
const zip = await downloadZip("KELDRO_Output.zip");
for (const name of given.filter((n) => expected[n])) {
  const entry = zip[`KELDRO_Output/${name}`];
  if (expected[name].bytes) assert.deepEqual(Buffer.from(entry || []), expected[name].bytes, name);
  else assert.equal(entry, undefined, `no output for ${name}`);
}
assert.equal(Object.keys(zip).length, examples.length + 1);
assert.deepEqual(unstamped(zip["KELDRO_Output/KELDRO_result.txt"]), unstamped(atMinus3.result));

// ---- Results of earlier settings are out of date and cannot be downloaded. ----
await fill("db", "6");
await page.waitForFunction(() => document.getElementById("download-zip").disabled);
assert.match(await page.textContent("#download-why"), /out of date/);
const stale = await rows();
assert.match(stale["vq2_bell.mmf"].result, /^Out of date: Converted\./);
assert.equal(await page.$$eval("#files tr.row button[aria-label^='Download']", (bs) => bs.every((b) => b.disabled)), true);
await fill("db", "-3"); // the same settings again: the results are current again
await page.waitForFunction(() => !document.getElementById("download-zip").disabled);

// ---- "-3,5" is -3.5 dB; what is not a number is refused beside its field. ----
await fill("db", "abc");
await page.waitForFunction(() => document.getElementById("convert").disabled, null, { timeout: 2000 });
assert.match(await page.textContent("#convert-why"), /Relative change: "abc" is not a number/);
assert.equal(await page.getAttribute("#settings [name=db]", "aria-invalid"), "true");
await fill("db", "-3,5");
const commaRun = await convertAndWait();
assert.equal(commaRun.state, "done");
const commaZip = await downloadZip("KELDRO_Output-comma.zip");
for (const name of ["vq2_bell.mmf", "mfi30_march.mld"])
  assert.deepEqual(Buffer.from(commaZip[`KELDRO_Output/${name}`]), keldro(join(files, name), ["-db", "-3.5"]).bytes, `${name} at -3.5 dB`);

// ---- Normalising: keldro-batch's result file; a failed file shows no change. ----
await clearList();
await page.check("#settings [name=normalizeOn]");
await fill("normalize", "-6");
const normalGiven = ["vq2_bell.mmf", "vq2_damaged.mmf", "mfi20_chime.mld", "vq5_drive.mmf"];
await addFiles("#pick-files", normalGiven.map((n) => join(files, n)), normalGiven.length);
await convertAndWait();
const normal = await rows();
assert.equal(normal["vq2_damaged.mmf"].result, expected["vq2_damaged.mmf"].message, "a failed file lists no change");
assert.match(normal["vq2_bell.mmf"].result, /^Converted\. \([+-]\d+\.\d dB\)$/);
const normalZip = await downloadZip("KELDRO_Output-normalised.zip");
const normalBatch = batch(["--normalize", "-6", ...normalGiven], files);
assert.deepEqual(unstamped(normalZip["KELDRO_Output/KELDRO_result.txt"]), unstamped(normalBatch.result));
await page.uncheck("#settings [name=normalizeOn]");
await fill("db", "-3");

// ---- A folder of non-ASCII names: the result file is keldro-batch's, byte for byte. ----
await clearList();
await addFiles("#pick-folder", intl, 3);
await convertAndWait();
const intlZip = await downloadZip("KELDRO_Output-intl.zip");
const intlBatch = batch(["--db", "-3", "着信音"], join(tmp, "intl"));
assert.equal(intlBatch.status, 0, intlBatch.stderr);
assert.deepEqual(zipNames(intlZip), ["着信音/Ré café.mld", "着信音/Ünter/ß.mmf", "着信音/着信音.mmf", "KELDRO_result.txt"]);
assert.deepEqual(unstamped(intlZip["KELDRO_Output/KELDRO_result.txt"]), unstamped(intlBatch.result));
for (const name of ["着信音/Ré café.mld", "着信音/Ünter/ß.mmf", "着信音/着信音.mmf"])
  assert.deepEqual(Buffer.from(intlZip[`KELDRO_Output/${name}`]), readFileSync(join(intlBatch.out, name)), name);

// ---- "Save to folder" writes the same tree, its subfolders made: here into the
// page's private file system, which stands in for the folder a person picks. ----
assert.equal(await page.isVisible("#save-folder"), true, "Save to folder where the browser has it");
await page.evaluate(() => (window.showDirectoryPicker = async () => navigator.storage.getDirectory()));
await page.click("#save-folder");
await page.waitForFunction(() => /Saved into the folder \S*KELDRO_Output\./.test(document.getElementById("status").textContent));
const saved = await page.evaluate(async () => {
  const found = {};
  const walk = async (dir, prefix) => {
    for await (const [name, handle] of dir.entries()) {
      if (handle.kind === "directory") await walk(handle, `${prefix}${name}/`);
      else found[prefix + name] = [...new Uint8Array(await (await handle.getFile()).arrayBuffer())];
    }
  };
  await walk(await (await navigator.storage.getDirectory()).getDirectoryHandle("KELDRO_Output"), "");
  return found;
});
assert.deepEqual(Object.keys(saved).sort(), zipNames(intlZip).sort());
for (const name of ["着信音/Ré café.mld", "着信音/Ünter/ß.mmf", "着信音/着信音.mmf"])
  assert.deepEqual(Buffer.from(saved[name]), readFileSync(join(intlBatch.out, name)), `saved ${name}`);
assert.deepEqual(unstamped(saved["KELDRO_result.txt"]), unstamped(intlBatch.result));

// ---- A second file of the same name from another folder is skipped with keldro-batch's reason. ----
await clearList();
await addFiles("#pick-files", [join(tmp, "same", "one", "ring.mmf")], 1);
await addFiles("#pick-files", [join(tmp, "same", "two", "ring.mmf")], 2);
await page.setInputFiles("#pick-files", [join(tmp, "same", "one", "ring.mmf")]); // the same file again: listed once
await page.waitForFunction(() => /1 file already in the list was not added again\./.test(document.getElementById("status").textContent));
const sameBatch = batch(["--db", "-3", "one/ring.mmf", "two/ring.mmf"], join(tmp, "same"));
const reason = sameBatch.stderr.match(/skipped: two\/ring\.mmf \((.*)\)/)[1];
const same = await page.$$eval("#files tr.row", (trs) => trs.map((tr) => tr.cells[4].textContent));
assert.deepEqual(same, ["Waiting", `Skipped: ${reason}`]);

// ---- A file of a quarter of a million volume changes converts, charts and zips. ----
await clearList();
await addFiles("#pick-files", [join(files, bigName)], 1);
let started = performance.now();
const bigRun = await convertAndWait();
timings.push(`${bigName} (250 000 changes) ${(performance.now() - started).toFixed(0)} ms`);
assert.equal(bigRun.state, "done");
const big = (await rows())[bigName];
assert.equal(big.result, expected[bigName].message);
assert.equal(big.paths, 2);
const points = await page.$$eval("#files svg.chart path", (ps) => ps.reduce((n, p) => n + (p.getAttribute("d").match(/[MV]/g) || []).length, 0));
assert.ok(points > 0 && points <= 2000, `${points} points drawn`);
await page.click(`#files tr.row .chart-button`);
await page.waitForSelector("#detail[open] svg.chart.large");
const detail = await page.$eval("#detail", (d) => ({
  points: [...d.querySelectorAll("svg path")].reduce((n, p) => n + (p.getAttribute("d").match(/[MV]/g) || []).length, 0),
  labels: [...d.querySelectorAll("svg text")].map((t) => t.textContent),
  legend: d.querySelector(".legend").textContent,
  log: d.querySelector("pre.log").textContent.split("\n").length,
}));
assert.ok(detail.points > 0 && detail.points <= 2000, `${detail.points} points in the larger view`);
assert.ok(detail.labels.includes("0.0 s") && detail.labels.some((l) => / s$/.test(l) && l !== "0.0 s"), detail.labels.join(","));
assert.match(detail.legend, /before.*after/);
assert.equal(detail.log, 2000);
await page.screenshot({ path: join(artifacts, "detail.png") });
await page.click("#detail .close");
const bigZip = await downloadZip("KELDRO_Output-big.zip");
assert.deepEqual(Buffer.from(bigZip[`KELDRO_Output/${bigName}`]), expected[bigName].bytes);

// ---- 3 000 files: the run completes without long stalls of the page; files dropped during it are listed. ----
const copies = 3000;
const sources = examples.filter((n) => n.endsWith(".mmf") || n.endsWith(".mld"));
const many = Array.from({ length: copies }, (_, i) => {
  const source = sources[i % sources.length];
  return { name: `copy${String(i).padStart(4, "0")}_${source}`, mimeType: "application/octet-stream", buffer: readFileSync(join(files, source)) };
});
await clearList();
await addFiles("#pick-files", many, copies);
assert.ok((await page.$$("#files tr")).length < 100, "the list holds rows for the screen only");
await page.evaluate(() => {
  const gaps = (window.__gaps = []);
  let last = performance.now();
  const tick = (now) => {
    gaps.push(now - last);
    last = now;
    if (!window.__stop) requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
});
started = performance.now();
await page.click("#convert");
await page.waitForFunction(() => document.getElementById("progress").value >= 100);
await page.evaluate(() => {
  const data = new DataTransfer();
  data.items.add(new File([new Uint8Array(16)], "dropped during the run.mmf"));
  document.dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true }));
});
await page.waitForFunction((n) => document.getElementById("files").getAttribute("aria-rowcount") === String(n + 2), copies);
await page.waitForSelector("#status[data-state]", { timeout: 120_000 });
const longRun = await page.$eval("#status", (s) => ({ state: s.dataset.state, text: s.textContent }));
const gaps = await page.evaluate(() => ((window.__stop = true), window.__gaps));
timings.push(`${copies} files ${(performance.now() - started).toFixed(0)} ms, longest frame gap ${Math.max(...gaps).toFixed(0)} ms`);
assert.equal(longRun.state, "done", longRun.text);
assert.match(longRun.text, new RegExp(`Converted: ${copies}, unchanged: 0, failed: 0\\.`));
assert.match(longRun.text, /1 file added since is not converted: convert again to include it\./);
const stalls = gaps.filter((g) => g > 200).length;
assert.ok(stalls <= 2, `${stalls} gaps of more than 200 ms between frames`);
// Sorted by name, descending; the failed only (none); one row removed.
await page.click("#files th[data-sort=name] button");
await page.click("#files th[data-sort=name] button");
await page.waitForFunction(() => document.querySelector("#files tr.row").cells[0].textContent === "dropped during the run.mmf");
assert.equal(await page.getAttribute("#files th[data-sort=name]", "aria-sort"), "descending");
await page.click("#files tr.row button[aria-label^='Remove']");
await page.waitForFunction((n) => document.getElementById("files").getAttribute("aria-rowcount") === String(n + 1), copies);
await page.check("#failed-only");
await page.waitForFunction(() => document.getElementById("files").getAttribute("aria-rowcount") === "1");
await page.uncheck("#failed-only");

// ---- Cancel: within moments; the zip holds whole files and their entries only. ----
await page.evaluate(() => delete document.getElementById("status").dataset.state);
await page.click("#convert");
await page.waitForFunction(() => document.getElementById("progress").value >= 40);
const cancelMs = await page.evaluate(() => new Promise((resolve) => {
  const status = document.getElementById("status");
  const t = performance.now();
  const observer = new MutationObserver(() => {
    if (status.dataset.state) observer.disconnect(), resolve(performance.now() - t);
  });
  observer.observe(status, { attributes: true });
  document.getElementById("cancel").click();
}));
timings.push(`Cancel ${cancelMs.toFixed(0)} ms`);
assert.equal(await page.$eval("#status", (s) => s.dataset.state), "cancelled");
const partial = await downloadZip("KELDRO_Output-cancelled.zip");
const names = zipNames(partial).filter((p) => p !== "KELDRO_result.txt");
assert.ok(names.length >= 40 && names.length < copies, `${names.length} files in the zip`);
for (const name of names) assert.deepEqual(Buffer.from(partial[`KELDRO_Output/${name}`]), expected[name.slice(9)].bytes, name);
const logged = [...strFromU8(partial["KELDRO_Output/KELDRO_result.txt"]).matchAll(/^IN:(.*?)\t/gm)].map((m) => m[1]);
assert.deepEqual(logged, names, "one result entry per file in the zip, in the order the files were added");

// ---- No network request after loading; labelled controls; the keyboard alone
// converts; usable at phone width; settings remembered. ----
assert.deepEqual(requests, [], "network requests after loading");
assert.deepEqual(pageErrors, []);
const unlabelled = await page.$$eval("input, button", (es) =>
  es.filter((e) => !(e.labels && e.labels.length) && !e.getAttribute("aria-label") && !e.textContent.trim()).map((e) => e.outerHTML));
assert.deepEqual(unlabelled, []);
await clearList();
await addFiles("#pick-files", given.map((n) => join(files, n)), given.length);
await page.evaluate(() => delete document.getElementById("status").dataset.state);
await page.focus("#settings [name=mg]");
for (let i = 0; i < 200 && !(await page.evaluate(() => document.activeElement.id === "convert")); i++) await page.keyboard.press("Tab");
await page.keyboard.press("Enter");
await page.waitForSelector("#status[data-state=done]");
await page.setViewportSize({ width: 375, height: 800 });
const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
assert.ok(overflow <= 0, `page wider than a phone by ${overflow}px`);
await page.screenshot({ path: join(artifacts, "phone.png"), fullPage: true });
await page.setViewportSize({ width: 1200, height: 900 });

// ---- Without the network: once the service worker is in, the page loads and converts. ----
await page.evaluate(() => navigator.serviceWorker.ready.then(() => undefined));
await page.reload(); // the service worker controls the page from its next load
await page.waitForFunction(() => Boolean(navigator.serviceWorker.controller));
await context.setOffline(true);
await page.reload();
await page.waitForFunction(() => document.getElementById("status").textContent.startsWith("Ready"));
assert.equal(await page.inputValue("#settings [name=db]"), "-3", "settings remembered");
await addFiles("#pick-files", examples.map((n) => join(files, n)), examples.length);
assert.equal((await convertAndWait()).state, "done");
const offlineZip = await downloadZip("KELDRO_Output-offline.zip");
for (const name of examples) assert.deepEqual(Buffer.from(offlineZip[`KELDRO_Output/${name}`]), expected[name].bytes, `${name} offline`);
await context.setOffline(false);
// Installable: Chromium finds no fault in the manifest, and none but that
// a test's browser profile is an incognito one.
const cdp = await context.newCDPSession(page);
assert.deepEqual((await cdp.send("Page.getAppManifest")).errors, []);
const { installabilityErrors } = await cdp.send("Page.getInstallabilityErrors");
assert.deepEqual(installabilityErrors.map((e) => e.errorId).filter((id) => id !== "in-incognito"), []);
const manifest = await page.evaluate(async () => (await fetch(document.querySelector("link[rel=manifest]").href)).json());
assert.deepEqual(Object.values(manifest.file_handlers[0].accept).flat().sort(), [".mld", ".mmf"]);

// ---- Opened as a file, the page says what to do instead of loading for ever. ----
const local = await context.newPage();
const site = resolve(new URL(".", import.meta.url).pathname, "../../build-web/site/index.html");
await local.goto(pathToFileURL(site).href);
await local.waitForSelector("#status[data-state=unserved]", { timeout: 5000 });
assert.match(await local.textContent("#status"), /served.*http:\/\/127\.0\.0\.1:8080\/.*installed/);

await browser.close();
rmSync(tmp, { recursive: true, force: true });
console.log(`browser: 9 examples converted in ${run.ms.toFixed(0)} ms in the page, keldro-batch ${atMinus3.ms.toFixed(0)} ms; ` +
  `${timings.join("; ")}; cancelled after ${names.length} of ${copies}; screenshots in ${artifacts}`);
