// The page in Debian's Chromium, driven by playwright-core: the examples and
// a damaged file go in through the file input, are converted at -3 dB, and
// the downloaded zip holds keldro's outputs and keldro-batch's result file;
// Cancel stops a long run with a zip of whole files only; after loading, the
// page makes no network request.
// Usage: node browser-test.mjs URL BIN_DIR EXAMPLES_DIR ARTIFACTS_DIR
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { unzipSync, strFromU8 } from "fflate";
import { chromium } from "playwright-core";

const [url, binDir, examplesDir, artifacts] = [process.argv[2], ...process.argv.slice(3).map((p) => resolve(p))];
mkdirSync(artifacts, { recursive: true });
const tmp = mkdtempSync(join(tmpdir(), "keldro-browser-"));
const unstamped = (text) => text.replace(/Data:\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d/g, "Data:-");

// ---- What the programs write for the same files at -3 dB. ----
const files = join(tmp, "files");
mkdirSync(files);
const examples = readdirSync(examplesDir).sort();
for (const name of examples) copyFileSync(join(examplesDir, name), join(files, name));
const bell = readFileSync(join(examplesDir, "vq2_bell.mmf"));
writeFileSync(join(files, "vq2_damaged.mmf"), bell.subarray(0, bell.length >> 1));
writeFileSync(join(files, "notes.txt"), "not a ringtone\n");
const given = [...examples, "vq2_damaged.mmf", "notes.txt"];

const keldroDir = join(tmp, "keldro");
mkdirSync(keldroDir);
copyFileSync(join(binDir, "keldro"), join(keldroDir, "keldro"));
spawnSync("chmod", ["+x", join(keldroDir, "keldro")]);
const expected = {}; // name -> { bytes, message }
for (const name of given.filter((n) => /\.(mmf|mld)$/.test(n))) {
  writeFileSync(join(keldroDir, "KELDRO.ini"), `[SETTING]\nTARGET_FILE=${name.endsWith(".mld") ? 1 : 0}\n`);
  const out = join(keldroDir, `out${name.slice(-4)}`);
  rmSync(out, { force: true });
  const r = spawnSync(join(keldroDir, "keldro"), ["-i", join(files, name), "-o", out, "-db", "-3"], { encoding: "utf8" });
  expected[name] = { message: r.stderr.trim(), bytes: existsSync(out) ? readFileSync(out) : null };
}
assert.equal(expected["vq2_damaged.mmf"].bytes, null, "the damaged file must fail in keldro");
const batchDir = join(tmp, "batch");
let started = performance.now();
const batch = spawnSync(join(binDir, "keldro-batch"), ["--db", "-3", "--out", batchDir, ...examples], { cwd: files });
const batchMs = performance.now() - started;
assert.equal(batch.status, 0, String(batch.stderr));
spawnSync(join(binDir, "keldro-batch"), ["--db", "-3", "--out", "KELDRO_Output", ...given], { cwd: files });
const batchResult = readFileSync(join(files, "KELDRO_Output", "KELDRO_result.txt"), "latin1");

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

async function convertAndWait() {
  await page.click("#convert");
  await page.waitForSelector("#status[data-state]");
  return page.$eval("#status", (s) => ({ state: s.dataset.state, ms: Number(s.dataset.elapsedMs), text: s.textContent }));
}
async function downloadZip(name) {
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#download-zip")]);
  assert.equal(download.suggestedFilename(), "KELDRO_Output.zip");
  const path = join(artifacts, name);
  await download.saveAs(path);
  return unzipSync(new Uint8Array(readFileSync(path)));
}

await page.fill("#settings [name=db]", "-3");
await page.setInputFiles("#pick-files", given.map((n) => join(files, n)));
await page.waitForFunction((n) => document.querySelectorAll("#files tbody tr").length === n, given.length);
const run = await convertAndWait();
assert.equal(run.state, "done", run.text);

const rows = await page.$$eval("#files tbody tr", (trs) =>
  Object.fromEntries(trs.map((tr) => [tr.cells[0].textContent, { kind: tr.cells[1].textContent, result: tr.cells[2].textContent }])));
assert.equal(rows["vq2_damaged.mmf"].result, expected["vq2_damaged.mmf"].message);
assert.match(rows["notes.txt"].result, /^Skipped: not a TAVI \(\.mmf\) or MFi \(\.mld\) file/);
assert.equal(rows["vq7_chorus.mmf"].kind, "TAVI/VQ-7");
assert.equal(rows["mfi31_waltz.mld"].kind, "MFi/3.1");
for (const name of examples) assert.equal(rows[name].result, expected[name].message, name);
assert.ok((await page.$$("#files svg.chart circle")).length > 0, "charts of the changed volumes");
await page.locator("#files").screenshot({ path: join(artifacts, "file-list.png") });

const zip = await downloadZip("KELDRO_Output.zip");
for (const name of given.filter((n) => expected[n])) {
  const entry = zip[`KELDRO_Output/${name}`];
  if (expected[name].bytes) assert.deepEqual(Buffer.from(entry || []), expected[name].bytes, name);
  else assert.equal(entry, undefined, `no output for ${name}`);
}
assert.equal(Object.keys(zip).length, examples.length + 1);
assert.equal(unstamped(strFromU8(zip["KELDRO_Output/KELDRO_result.txt"], true)), unstamped(batchResult));

// ---- Cancel: a long run stops; the zip holds whole files and their entries only. ----
const copies = 3000;
const sources = examples.filter((n) => n.endsWith(".mmf") || n.endsWith(".mld"));
const many = Array.from({ length: copies }, (_, i) => {
  const source = sources[i % sources.length];
  return { name: `copy${String(i).padStart(4, "0")}_${source}`, mimeType: "application/octet-stream", buffer: readFileSync(join(files, source)) };
});
await page.click("#clear");
await page.setInputFiles("#pick-files", many);
await page.waitForFunction((n) => document.querySelectorAll("#files tbody tr").length === n, copies);
await page.evaluate(() => delete document.getElementById("status").dataset.state);
await page.click("#convert");
await page.waitForFunction(() => document.getElementById("progress").value >= 40);
await page.click("#cancel");
await page.waitForSelector("#status[data-state]");
const cancelled = await page.$eval("#status", (s) => s.dataset.state);
assert.equal(cancelled, "cancelled");
const partial = await downloadZip("KELDRO_Output-cancelled.zip");
const names = Object.keys(partial).filter((p) => !p.endsWith("/KELDRO_result.txt")).map((p) => p.replace("KELDRO_Output/", ""));
assert.ok(names.length >= 40 && names.length < copies, `${names.length} files in the zip`);
for (const name of names) assert.deepEqual(Buffer.from(partial[`KELDRO_Output/${name}`]), expected[name.slice(9)].bytes, name);
const logged = [...strFromU8(partial["KELDRO_Output/KELDRO_result.txt"], true).matchAll(/^IN:(.*?)\t/gm)].map((m) => m[1]);
assert.deepEqual(logged, names, "one result entry per file in the zip, in input order");

// ---- No network request after loading; labelled controls; the keyboard alone
// converts; usable at phone width; settings remembered. ----
assert.deepEqual(requests, [], "network requests after loading");
assert.deepEqual(pageErrors, []);
const unlabelled = await page.$$eval("input, button", (es) =>
  es.filter((e) => !(e.labels && e.labels.length) && !e.getAttribute("aria-label") && !e.textContent.trim()).map((e) => e.outerHTML));
assert.deepEqual(unlabelled, []);
await page.click("#clear");
await page.setInputFiles("#pick-files", given.map((n) => join(files, n)));
await page.evaluate(() => delete document.getElementById("status").dataset.state);
await page.focus("#settings [name=mg]");
for (let i = 0; i < 200 && !(await page.evaluate(() => document.activeElement.id === "convert")); i++) await page.keyboard.press("Tab");
await page.keyboard.press("Enter");
await page.waitForSelector("#status[data-state=done]");
await page.setViewportSize({ width: 375, height: 800 });
const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
assert.ok(overflow <= 0, `page wider than a phone by ${overflow}px`);
await page.screenshot({ path: join(artifacts, "phone.png"), fullPage: true });
await page.reload();
assert.equal(await page.inputValue("#settings [name=db]"), "-3");

await browser.close();
rmSync(tmp, { recursive: true, force: true });
console.log(`browser: 9 examples converted in ${run.ms.toFixed(0)} ms in the page, keldro-batch ${batchMs.toFixed(0)} ms; ` +
  `cancelled after ${names.length} of ${copies}; screenshot ${join(artifacts, "file-list.png")}`);
