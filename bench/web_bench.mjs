// Benchmarks of KELDRO on the web, printed side by side in one run; not a
// test (nothing is asserted). Each section is a function that prints its
// own table; main() runs them in order, or only those named on the command
// line.
//
//   module  The WebAssembly module's convert() under Node against the native
//           core (convertBytes in a Release build's keldro_bench) on the same
//           MFi files of 1 and 8 MiB; MB/s of CPU time, the best of a few
//           rounds (the machine may be shared).
//
//   page    The page in Debian's Chromium on a folder of small files against
//           keldro-batch (build-web/native) on the same files: wall time,
//           gaps between animation frames, Chromium's memory, Cancel.
//           Serve the page first: node web/serve.mjs build-web/site 8282.
//
// Usage: node bench/web_bench.mjs [SECTION...]   (from the repository's root)
//   PAGE_URL      the served page (default http://127.0.0.1:8282/)
//   FILES         files of the page section (default 3000)
//   KELDRO_MJS    the module (default build-web/site/keldro.mjs; build it
//                 with tools/web.sh --build-only)
//   KELDRO_BENCH  keldro_bench (default build-bench/keldro_bench, built here
//                 with -DKELDRO_BENCH=ON when missing)
//   ROUNDS        rounds per measurement (default 5)
import { spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { pageBench, printPage } from "./web_page_bench.mjs";

const root = resolve(new URL("..", import.meta.url).pathname);
const rounds = Number(process.env.ROUNDS || 5);

function run(command, args, options = {}) {
  const r = spawnSync(command, args, { encoding: "utf8", maxBuffer: 1 << 26, ...options });
  if (r.status !== 0) throw new Error(`${command} ${args.join(" ")} failed (${r.status}): ${r.stderr}`);
  return r.stdout;
}

// A table with a header row, columns padded to their widest cell.
function printTable(title, header, rows) {
  const cells = [header, ...rows].map((row) => row.map(String));
  const widths = header.map((_, c) => Math.max(...cells.map((row) => row[c].length)));
  console.log(`\n${title}`);
  for (const [i, row] of cells.entries()) {
    console.log(row.map((cell, c) => (c === 0 ? cell.padEnd(widths[c]) : cell.padStart(widths[c]))).join("  "));
    if (i === 0) console.log(widths.map((w) => "-".repeat(w)).join("  "));
  }
}

const mbPerSecond = (bytes, seconds) => bytes / 1e6 / seconds;

// ---- module: convert() under Node against the native core ----

function keldroBench() {
  const bench = resolve(process.env.KELDRO_BENCH || join(root, "build-bench/keldro_bench"));
  if (!existsSync(bench)) {
    const dir = join(root, "build-bench");
    run("cmake", ["-S", root, "-B", dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DKELDRO_TESTS=OFF", "-DKELDRO_BENCH=ON"]);
    run("cmake", ["--build", dir, "--target", "keldro_bench"], { stdio: "inherit" });
  }
  return bench;
}

// The native core's CPU seconds per conversion, best repetition of each
// benchmark; its inputs are written into `dir` (name_<n>MiB.mld).
function nativeSeconds(dir) {
  const out = run(
    keldroBench(),
    ["--benchmark_filter=ConvertBytes", "--benchmark_format=json", `--benchmark_repetitions=${rounds}`],
    { env: { ...process.env, KELDRO_BENCH_WRITE_DIR: dir } },
  );
  const best = new Map();
  for (const b of JSON.parse(out).benchmarks) {
    if (b.run_type !== "iteration") continue;
    // BM_ConvertBytesMfi20/1048576 -> mfi20_1MiB.mld
    const [name, size] = b.run_name.replace("BM_ConvertBytes", "").split("/");
    const file = `${name.toLowerCase().replace("regulated", "")}_${Number(size) >> 20}MiB.mld`;
    const seconds = b.cpu_time / { ns: 1e9, us: 1e6, ms: 1e3, s: 1 }[b.time_unit];
    best.set(file, Math.min(best.get(file) ?? Infinity, seconds));
  }
  return best;
}

// CPU seconds per call of `fn`, best of the rounds (each at least 3 calls
// and 0.5 s).
function moduleSeconds(fn) {
  fn();
  let best = Infinity;
  for (let r = 0; r < rounds; r++) {
    const start = process.cpuUsage();
    const t0 = performance.now();
    let calls = 0;
    while (calls < 3 || performance.now() - t0 < 500) {
      fn();
      calls++;
    }
    const used = process.cpuUsage(start);
    best = Math.min(best, (used.user + used.system) / 1e6 / calls);
  }
  return best;
}

async function moduleSection() {
  const modulePath = resolve(process.env.KELDRO_MJS || join(root, "build-web/site/keldro.mjs"));
  const keldro = await (await import(pathToFileURL(modulePath).href)).default();
  const dir = mkdtempSync(join(tmpdir(), "keldro-web-bench-"));
  try {
    const native = nativeSeconds(dir);
    const rows = [];
    for (const file of readdirSync(dir).sort()) {
      const bytes = new Uint8Array(readFileSync(join(dir, file)));
      // As the native benchmark: -3 dB, MFi 4.0 with chorus regulation.
      const settings = { db: -3, regulate: file.startsWith("mfi40") };
      let changes = 0;
      const seconds = moduleSeconds(() => {
        const o = keldro.convert("mfi", bytes, settings);
        if (o.result !== 0) throw new Error(`${file}: ${o.message}`);
        changes = o.changes.length;
      });
      const nativeMB = mbPerSecond(bytes.length, native.get(file));
      const moduleMB = mbPerSecond(bytes.length, seconds);
      rows.push([file, changes, nativeMB.toFixed(1), moduleMB.toFixed(1), (nativeMB / moduleMB).toFixed(2) + "x"]);
    }
    printTable(
      "module: convert() under Node vs the native core (convertBytes), MB/s of CPU time, -3 dB",
      ["file", "changes", "native MB/s", "module MB/s", "module time"],
      rows,
    );
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// ---- page: the page at scale against keldro-batch ----

async function pageSection() {
  const url = process.env.PAGE_URL || "http://127.0.0.1:8282/";
  const count = Number(process.env.FILES || 3000);
  printPage(await pageBench({ url, binDir: join(root, "build-web/native"), examplesDir: join(root, "examples"), count }));
}

const sections = { module: moduleSection, page: pageSection };

async function main() {
  const chosen = process.argv.slice(2);
  for (const name of chosen) if (!sections[name]) throw new Error(`no section "${name}" (${Object.keys(sections).join(", ")})`);
  for (const name of chosen.length ? chosen : Object.keys(sections)) await sections[name]();
}

await main();
