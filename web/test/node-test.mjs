// The WebAssembly module against the real programs, under Node: for every
// example and a few damaged files, convert() gives the bytes keldro writes
// and the message and exit status it prints; over a whole folder, the
// result-log entries, the outputs and normalising are keldro-batch's.
// Usage: node node-test.mjs KELDRO_MJS BIN_DIR EXAMPLES_DIR
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { copyFileSync, cpSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const [modulePath, binDir, examplesDir] = process.argv.slice(2).map((p) => resolve(p));
const createKeldro = (await import(pathToFileURL(modulePath).href)).default;
const keldro = await createKeldro();
const tmp = mkdtempSync(join(tmpdir(), "keldro-web-"));
let checks = 0;
const failures = [];
function check(label, fn) {
  checks++;
  try {
    fn();
  } catch (e) {
    failures.push(`${label}: ${e.message}`);
  }
}

// keldro reads its mode from KELDRO.ini beside it and writes the values it
// used back, so a copy of it gets a fresh settings file before every run.
copyFileSync(join(binDir, "keldro"), join(tmp, "keldro"));
spawnSync("chmod", ["+x", join(tmp, "keldro")]);
function runKeldro(mode, input, settings) {
  writeFileSync(join(tmp, "KELDRO.ini"), `[SETTING]\nTARGET_FILE=${mode === "mfi" ? 1 : 0}\n`);
  const output = join(tmp, mode === "mfi" ? "out.mld" : "out.mmf");
  rmSync(output, { force: true });
  const args = ["-i", input, "-o", output];
  for (const [name, value] of Object.entries(settings)) {
    if (name !== "regulate") args.push(`-${name}`, String(value));
    else if (value) args.push("-e");
  }
  const r = spawnSync(join(tmp, "keldro"), args, { cwd: tmp, encoding: "utf8" });
  return { message: r.stderr, status: r.stdout, bytes: existsSync(output) ? readFileSync(output) : null };
}

function sameAsKeldro(label, mode, inputPath, settings) {
  const input = new Uint8Array(readFileSync(inputPath));
  const expected = runKeldro(mode, inputPath, settings);
  const got = keldro.convert(mode, input, settings);
  check(label, () => {
    assert.equal(got.message + "\n", expected.message, "message");
    assert.equal(`${got.exitStatus}\n`, expected.status, "exit status");
    if (expected.bytes) assert.deepEqual(Buffer.from(got.bytes), expected.bytes, "bytes");
    else assert.equal(got.bytes.length, 0, "no bytes after an error");
  });
  return got;
}

// ---- Every example with settings of its mode (the relative change wins). ----
const settingsOf = {
  tavi: [{ db: -3 }, { db: 4.5, regulate: true }, { mv: 80, c1: 50 }, { mg: -4.5 }, { mg: -3, db: 2 }, { c16: "50" }],
  mfi: [{ db: -3 }, { c1: 20, ca: 10 }, { mg: -6 }, { db: 3, regulate: true }, { mv: 20 }],
};
const examples = readdirSync(examplesDir).sort();
for (const name of examples) {
  const mode = keldro.modeOfName(name);
  for (const s of settingsOf[mode]) sameAsKeldro(`${name} ${JSON.stringify(s)}`, mode, join(examplesDir, name), s);
}

// ---- Damaged files: keldro's message, no bytes. ----
const damagedDir = join(tmp, "damaged");
cpSync(examplesDir, damagedDir, { recursive: true });
function damage(name, as, change) {
  const bytes = readFileSync(join(examplesDir, name));
  writeFileSync(join(damagedDir, as), change(Buffer.from(bytes)));
}
damage("vq2_bell.mmf", "vq2_truncated.mmf", (b) => b.subarray(0, b.length >> 1));
damage("vq7_chorus.mmf", "vq7_size_flipped.mmf", (b) => ((b[7] ^= 0x10), b));
damage("mfi30_march.mld", "mfi30_truncated.mld", (b) => b.subarray(0, b.length - 7));
damage("mfi40_pulse.mld", "mfi40_size_flipped.mld", (b) => ((b[6] ^= 0x02), b));
damage("vq3_walk.mmf", "empty.mmf", () => Buffer.alloc(0));
writeFileSync(join(damagedDir, "notes.txt"), "not a ringtone\n");
for (const name of ["vq2_truncated.mmf", "vq7_size_flipped.mmf", "mfi30_truncated.mld", "mfi40_size_flipped.mld", "empty.mmf"]) {
  const got = sameAsKeldro(`damaged ${name}`, keldro.modeOfName(name), join(damagedDir, name), { db: -3 });
  check(`damaged ${name} fails`, () => assert.ok(got.result > 1, got.message));
}

// ---- A whole folder through keldro-batch: outputs and result file. ----
// The time stamps differ between the runs; everything else must not.
const unstamped = (text) => text.replace(/Data:\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d/g, "Data:-");
function sameAsBatch(label, batchArgs, settings, outDir) {
  const cwd = join(tmp, `batch-${outDir}`);
  cpSync(damagedDir, join(cwd, "examples"), { recursive: true });
  const run = spawnSync(join(binDir, "keldro-batch"), [...batchArgs, "--jobs", "2", "--out", outDir, "examples"], {
    cwd,
    encoding: "utf8",
  });
  let entries = "";
  for (const name of readdirSync(join(cwd, "examples")).sort()) {
    const mode = keldro.modeOfName(name);
    if (!mode) continue;
    const input = new Uint8Array(readFileSync(join(cwd, "examples", name)));
    const output = `${outDir}/examples/${name}`;
    const got = keldro.convert(mode, input, settings, { input: `examples/${name}`, output });
    entries += got.logEntry;
    check(`${label} ${name}`, () => {
      if (got.result === 0 || got.result === 1) assert.deepEqual(Buffer.from(got.bytes), readFileSync(join(cwd, output)));
      else assert.ok(!existsSync(join(cwd, output)), "no output for a failed file");
    });
  }
  check(`${label} ${outDir}/KELDRO_result.txt`, () => {
    assert.ok(run.status === 1, `keldro-batch exit ${run.status}: ${run.stderr}`);
    assert.equal(unstamped(entries), unstamped(readFileSync(join(cwd, outDir, "KELDRO_result.txt"), "latin1")));
  });
}
sameAsBatch("batch -3 dB", ["--db", "-3", "--regulate"], { db: -3, regulate: true }, "KELDRO_Output");
sameAsBatch("batch normalise", ["--normalize", "-7.5"], { normalize: "-7.5" }, "even");
check("normalise with a volume option is refused", () =>
  assert.throws(() => keldro.convert("tavi", new Uint8Array(4), { normalize: -6, db: 1 }), /normalize chooses/));

rmSync(tmp, { recursive: true, force: true });
for (const f of failures) console.error(`FAIL ${f}`);
console.log(`web core under Node: ${checks - failures.length} of ${checks} checks passed`);
process.exit(failures.length ? 1 : 0);
