// The page at scale, in Debian's Chromium through playwright-core: a folder
// of small files (copies of the examples) converted by keldro-batch and by
// the page, side by side. Prints the page's wall time against keldro-batch's,
// the longest gaps between animation frames during the run, the memory of
// all of Chromium's processes (summed PSS, sampled) and how long Cancel takes.
// A measurement, not a test: it asserts nothing about speed.
import { spawnSync } from "node:child_process";
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createRequire } from "node:module";

// playwright-core is one of the page's pinned packages (web/node_modules).
const { chromium } = createRequire(new URL("../web/package.json", import.meta.url))("playwright-core");

// Every process below this one (Chromium's browser, renderers, GPU and
// utility processes), by walking /proc's parent links.
function descendants(root) {
  const parentOf = new Map();
  for (const name of readdirSync("/proc")) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, "utf8");
      parentOf.set(Number(name), Number(stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1]));
    } catch {
      // the process ended while being listed
    }
  }
  const out = [];
  const walk = (pid) => {
    for (const [child, parent] of parentOf) if (parent === pid) out.push(child), walk(child);
  };
  walk(root);
  return out;
}

// Proportional set size: shared pages counted once across the processes.
function pssKiB(pid) {
  try {
    const m = readFileSync(`/proc/${pid}/smaps_rollup`, "utf8").match(/^Pss:\s+(\d+) kB/m);
    return m ? Number(m[1]) : 0;
  } catch {
    return 0;
  }
}

// CPU seconds (user + system) used so far: by the processes given, and by
// the children of this process that have ended (keldro-batch).
const TICKS = 100; // USER_HZ on Linux
function statFields(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
    return stat.slice(stat.lastIndexOf(")") + 2).split(" ").map(Number);
  } catch {
    return null;
  }
}
function cpuSeconds(pids) {
  let ticks = 0;
  for (const pid of pids) {
    const f = statFields(pid);
    if (f) ticks += f[11] + f[12]; // utime, stime
  }
  return ticks / TICKS;
}
function endedChildrenCpuSeconds() {
  const f = statFields("self");
  return (f[13] + f[14]) / TICKS; // cutime, cstime
}
const chromiumCpu = () => cpuSeconds(descendants(process.pid));

function memorySampler() {
  let peak = 0;
  const sample = () => {
    const total = descendants(process.pid).reduce((sum, pid) => sum + pssKiB(pid), 0);
    peak = Math.max(peak, total);
    return total;
  };
  const timer = setInterval(sample, 250);
  return { sample, stop: () => (clearInterval(timer), sample(), peak / 1024) };
}

function loadAverage() {
  return readFileSync("/proc/loadavg", "utf8").split(" ").slice(0, 3).join(" ");
}

// Records the gaps between animation frames inside the page until stopped.
function watchFrames() {
  window.__frames = { last: performance.now(), gaps: [] };
  const tick = (now) => {
    window.__frames.gaps.push(now - window.__frames.last);
    window.__frames.last = now;
    if (!window.__frames.stopped) requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
}

function stopFrames() {
  window.__frames.stopped = true;
  const gaps = window.__frames.gaps;
  return { max: Math.max(0, ...gaps), over200: gaps.filter((g) => g > 200).length, over50: gaps.filter((g) => g > 50).length };
}

// Clicks Cancel once the run is under way and measures, inside the page,
// how long until the status says the run was cancelled.
function cancelLatency() {
  return new Promise((resolve) => {
    const status = document.getElementById("status");
    const started = performance.now();
    const done = () => status.dataset.state === "cancelled" && (observer.disconnect(), resolve(performance.now() - started));
    const observer = new MutationObserver(done);
    observer.observe(status, { attributes: true, childList: true, characterData: true, subtree: true });
    document.getElementById("cancel").click();
    done();
  });
}

// The files: `count` copies of the examples, in one folder.
export function makeFolder(examplesDir, count) {
  const dir = mkdtempSync(join(tmpdir(), "keldro-bench-page-"));
  const files = join(dir, "in");
  mkdirSync(files);
  const sources = readdirSync(examplesDir).filter((n) => /\.(mmf|mld)$/.test(n)).sort();
  const names = [];
  for (let i = 0; i < count; i++) {
    const source = sources[i % sources.length];
    const name = `copy${String(i).padStart(5, "0")}_${source}`;
    copyFileSync(join(examplesDir, source), join(files, name));
    names.push(join(files, name));
  }
  return { dir, files, names };
}

export async function pageBench({ url, binDir, examplesDir, count = 3000, settings = { db: "-3" } }) {
  const { dir, files, names } = makeFolder(examplesDir, count);
  const batchArgs = Object.entries(settings).flatMap(([k, v]) => [`--${k}`, v]);
  // keldro-batch five times (the first also warms the disk cache for the
  // page): the median, and the fastest. Its outputs go to the disk beside
  // the inputs, and, where there is one, to a memory file system: writing
  // thousands of files to a busy disk can cost it more than converting.
  const batchTimes = (out) => {
    const runs = [];
    const cpuBefore = endedChildrenCpuSeconds();
    for (let i = 0; i < 5; i++) {
      rmSync(out, { recursive: true, force: true });
      const started = performance.now();
      const batch = spawnSync(join(binDir, "keldro-batch"), [...batchArgs, "--out", out, "in"], { cwd: dir });
      runs.push(performance.now() - started);
      if (batch.status !== 0) throw new Error(`keldro-batch: ${batch.stderr}`);
    }
    rmSync(out, { recursive: true, force: true });
    runs.sort((a, b) => a - b);
    runs.cpu = (endedChildrenCpuSeconds() - cpuBefore) / 5;
    return runs;
  };
  const onDisk = batchTimes(join(dir, "out"));
  const inMemory = existsSync("/dev/shm") ? batchTimes(join("/dev/shm", `keldro-bench-${process.pid}`)) : null;
  const batchMs = onDisk[2], batchFastestMs = onDisk[0];
  const batchMemoryMs = inMemory ? inMemory[2] : null;
  const batchCpuSeconds = onDisk.cpu, batchMemoryCpuSeconds = inMemory ? inMemory.cpu : null;
  let t;

  const memory = memorySampler();
  const idleLoad = loadAverage();
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1200, height: 900 } });
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForFunction(() => !document.getElementById("convert").disabled || /^Ready/.test(document.getElementById("status").textContent));
  for (const [name, value] of Object.entries(settings)) await page.fill(`#settings [name=${name === "normalize" ? "normalize" : name}]`, value);
  const afterLoad = memory.sample() / 1024;

  await page.evaluate(() => document.getElementById("pick-files").addEventListener("change", () => (window.__added = performance.now()), { capture: true }));
  let cpu = chromiumCpu();
  t = performance.now();
  await page.setInputFiles("#pick-files", names);
  // Listed, with their levels where the page reads them (its summary says
  // "Reading their levels" until done).
  await page.waitForFunction(() => !document.getElementById("convert").disabled &&
    !/Reading/.test(document.getElementById("summary").textContent), null, { timeout: 0, polling: 50 });
  const addMs = performance.now() - t;
  const addInPageMs = await page.evaluate(() => performance.now() - window.__added);
  const addCpu = chromiumCpu() - cpu;
  await page.evaluate(watchFrames);
  cpu = chromiumCpu();
  t = performance.now();
  await page.click("#convert");
  await page.waitForSelector("#status[data-state]", { timeout: 0 });
  const convertMs = performance.now() - t;
  const convertCpu = chromiumCpu() - cpu;
  const frames = await page.evaluate(stopFrames);
  const state = await page.$eval("#status", (s) => s.dataset.state);
  t = performance.now();
  const [download] = await Promise.all([page.waitForEvent("download", { timeout: 0 }), page.click("#download-zip")]);
  await download.saveAs(join(dir, "page.zip"));
  const zipMs = performance.now() - t;
  // What stays once the run is over: the page's heap collected, a moment for the workers.
  const cdp = await context.newCDPSession(page);
  await cdp.send("HeapProfiler.collectGarbage");
  await page.waitForTimeout(3000);
  const settledMiB = memory.sample() / 1024;
  const peakMiB = memory.stop();

  // Cancel: a second run, cancelled a tenth of the way in.
  await page.evaluate(() => delete document.getElementById("status").dataset.state);
  await page.click("#convert");
  await page.waitForFunction((n) => document.getElementById("progress").value >= n, Math.ceil(count / 10), { timeout: 0 });
  const cancelMs = await page.evaluate(cancelLatency);
  await browser.close();
  rmSync(dir, { recursive: true, force: true });
  void files;
  return { count, state, batchMs, batchFastestMs, batchMemoryMs, batchCpuSeconds, batchMemoryCpuSeconds, addMs, addInPageMs, addCpu, convertCpu, convertMs, zipMs, frames, afterLoad, peakMiB, settledMiB, cancelMs, idleLoad, endLoad: loadAverage() };
}

export function printPage(r) {
  const pageMs = r.addMs + r.convertMs + r.zipMs;
  console.log(`page, ${r.count} files (${r.state}); load average before ${r.idleLoad}, after ${r.endLoad}`);
  console.log(`  keldro-batch           ${r.batchMs.toFixed(0).padStart(8)} ms  (median of 5; fastest ${r.batchFastestMs.toFixed(0)} ms)`);
  if (r.batchMemoryMs !== null) {
    console.log(`  keldro-batch, outputs to /dev/shm ${r.batchMemoryMs.toFixed(0).padStart(5)} ms  (median of 5)`);
  }
  const shmCpu = r.batchMemoryCpuSeconds !== null ? `; ${(r.batchMemoryCpuSeconds * 1000).toFixed(0)} ms with /dev/shm` : "";
  console.log(`  keldro-batch CPU       ${(r.batchCpuSeconds * 1000).toFixed(0).padStart(8)} ms  (user + system, all threads, mean of its runs${shmCpu})`);
  console.log(`  page: add (levels)     ${r.addMs.toFixed(0).padStart(8)} ms  (${r.addInPageMs.toFixed(0)} ms from the input's change event; ` +
    `Chromium CPU ${(r.addCpu * 1000).toFixed(0)} ms)`);
  console.log(`  page: convert          ${r.convertMs.toFixed(0).padStart(8)} ms  (${(r.convertMs / r.batchMs).toFixed(1)} x keldro-batch; ` +
    `Chromium CPU ${(r.convertCpu * 1000).toFixed(0)} ms)`);
  console.log(`  page: zip + download   ${r.zipMs.toFixed(0).padStart(8)} ms`);
  const versus = r.batchMemoryMs !== null ? `, ${(pageMs / r.batchMemoryMs).toFixed(1)} x with /dev/shm` : "";
  console.log(`  page: all              ${pageMs.toFixed(0).padStart(8)} ms  (${(pageMs / r.batchMs).toFixed(1)} x keldro-batch${versus})`);
  console.log(`  frame gaps during the run: longest ${r.frames.max.toFixed(0)} ms, ${r.frames.over200} over 200 ms, ${r.frames.over50} over 50 ms`);
  const perFile = (mib) => `${(((mib - r.afterLoad) * 1024) / r.count).toFixed(1)} KiB per file`;
  console.log(`  Chromium memory (PSS, all processes): ${r.afterLoad.toFixed(0)} MiB loaded, peak ${r.peakMiB.toFixed(0)} MiB ` +
    `(${perFile(r.peakMiB)}), ${r.settledMiB.toFixed(0)} MiB after the run (${perFile(r.settledMiB)})`);
  console.log(`  Cancel: ${r.cancelMs.toFixed(0)} ms until the page says so`);
}
