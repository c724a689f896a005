// The WebAssembly module against the real programs, under Node: for every
// example and a few damaged files, convert() gives the bytes keldro writes
// and the message and exit status it prints; over a whole folder, the
// result-log entries, the outputs and normalising are keldro-batch's.
// Usage: node node-test.mjs KELDRO_MJS BIN_DIR EXAMPLES_DIR
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { copyFileSync, cpSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { manyVolumeChanges } from "./vq2-file.mjs";

const [modulePath, binDir, examplesDir] = process.argv.slice(2).map((p) => resolve(p));
const scriptDir = dirname(fileURLToPath(import.meta.url));
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

// ---- Settings: what keldro-batch refuses is refused, naming the setting. ----
// Numbers and numeric texts convert as keldro converts them (above, and here
// texts in keldro-batch's spelling); anything else never becomes 0 dB.
for (const s of [{ db: "-3" }, { db: " 2.5" }, { db: 1e-7 }, { db: 4n }, { mg: "-4.5" }, { mv: "+80" }, { c2: "-5" }])
  sameAsKeldro(`accepted ${JSON.stringify(s, (k, v) => (typeof v === "bigint" ? `${v}n` : v))}`, "tavi", join(examplesDir, "vq3_walk.mmf"), s);
const refused = [
  // [setting, value, error type, keldro-batch's text for it or null (no such text)]
  ["normalize", "", RangeError, ""],
  ["normalize", "abc", RangeError, "abc"],
  ["normalize", "99", RangeError, "99"],
  ["normalize", true, TypeError, null],
  ["normalize", [], TypeError, null],
  ["db", "abc", RangeError, "abc"],
  ["db", "3 dB", RangeError, "3 dB"],
  ["db", "nan", RangeError, "nan"],
  ["db", "1e400", RangeError, "1e400"],
  ["db", NaN, RangeError, "NaN"],
  ["db", Infinity, RangeError, "Infinity"],
  ["db", {}, TypeError, null],
  ["db", Symbol("x"), TypeError, null],
  ["db", true, TypeError, null],
  ["mg", "-", RangeError, "-"],
  ["mv", "80.5", RangeError, "80.5"],
  ["c1", 50.5, RangeError, "50.5"],
  ["c16", "1e2", RangeError, "1e2"],
  ["ca", [7], TypeError, null],
  ["ca", "7\u0000", RangeError, null],
  // A misspelt or unknown option, which would otherwise convert at 0 dB.
  ["dB", -3, TypeError, "-3"],
  ["gain", -3, TypeError, "-3"],
];
const mfiInput = new Uint8Array(readFileSync(join(examplesDir, "mfi20_chime.mld")));
for (const [name, value, type, batchText] of refused) {
  const label = `refused ${name} ${typeof value === "symbol" ? "Symbol" : JSON.stringify(value) ?? String(value)}`;
  check(label, () =>
    assert.throws(
      () => keldro.convert("mfi", mfiInput, { [name]: value }),
      (e) => e instanceof type && e.message.startsWith(`${name} `),
    ),
  );
  if (batchText === null) continue;
  check(`${label}: keldro-batch refuses it too`, () => {
    const r = spawnSync(join(binDir, "keldro-batch"), [`--${name}=${batchText}`, join(examplesDir, "mfi20_chime.mld")], {
      cwd: tmp,
      encoding: "utf8",
    });
    assert.equal(r.status, 2, r.stderr);
  });
}

// Settings that are no object of options; left out or null, none is given.
for (const settings of [5, "db=-3", [["db", -3]], true])
  check(`refused settings ${JSON.stringify(settings)}`, () =>
    assert.throws(() => keldro.convert("mfi", mfiInput, settings), (e) => e instanceof TypeError && /^settings /.test(e.message)),
  );
check("settings left out or null convert as none given", () => {
  const none = keldro.convert("mfi", mfiInput, {}).logEntry;
  for (const settings of [undefined, null]) assert.equal(keldro.convert("mfi", mfiInput, settings).logEntry, none);
});
// An empty text is a setting left out, as the page's empty field: it is no 0 dB, which would win over mv.
{
  const bell = new Uint8Array(readFileSync(join(examplesDir, "vq2_bell.mmf")));
  const now = new Date(2026, 2, 21, 13, 5, 9);
  const at = (settings) => keldro.convert("tavi", bell, settings, { now });
  check('{ db: "", mv: 80 } is { mv: 80 }', () => {
    const [emptyDb, mvOnly] = [at({ db: "", mv: 80 }), at({ mv: 80 })];
    assert.equal(emptyDb.logEntry, mvOnly.logEntry);
    assert.deepEqual(emptyDb.bytes, mvOnly.bytes);
    assert.notDeepEqual(at({ db: 0, mv: 80 }).bytes, mvOnly.bytes, "0 dB would win over mv");
  });
  sameAsKeldro("mv 80 alone", "tavi", join(examplesDir, "vq2_bell.mmf"), { mv: 80 });
}
// What the page sends with every field filled in is what the module takes.
{
  const { FIELDS, readSettings } = await import(pathToFileURL(join(scriptDir, "../src/settings.js")).href);
  for (const normalizeOn of [false, true]) {
    const values = Object.fromEntries(FIELDS.map((f) => [f.name, String(f.min)]));
    const { settings } = readSettings({ ...values, normalizeOn, regulate: true });
    check(`the page's settings ${Object.keys(settings).join(",")}`, () =>
      assert.doesNotThrow(() => keldro.convert("mfi", mfiInput, settings)),
    );
  }
}

// ---- Integer options past the int range saturate: "above 127 gives 127". ----
// The module passes the text through to the shared option parsing; keldro and
// keldro-batch take the same text through the same parsing, fixed on another
// branch: until that is merged keldro still wraps these to 0, and the rows
// against keldro are skipped (said loudly below).
const bigValueRows = [
  ["tavi", "vq5_drive.mmf", "mv"],
  ["tavi", "vq2_bell.mmf", "c1"],
  ["mfi", "mfi20_chime.mld", "c1"],
  ["mfi", "mfi20_chime.mld", "ca"],
];
const keldroSaturates = runKeldro("tavi", join(examplesDir, "vq5_drive.mmf"), { mv: "4294967296" }).bytes?.equals(
  runKeldro("tavi", join(examplesDir, "vq5_drive.mmf"), { mv: 127 }).bytes,
);
if (!keldroSaturates)
  console.log("SKIP keldro rows for -mv/-c1/-ca 2147483648 and 4294967296: keldro still wraps them (needs the option-parsing fix of h-batch)");
for (const [mode, name, option] of bigValueRows) {
  const input = new Uint8Array(readFileSync(join(examplesDir, name)));
  const at127 = keldro.convert(mode, input, { [option]: 127 });
  for (const value of ["2147483648", "4294967296"]) {
    const label = `${name} ${option} ${value}`;
    check(`${label} gives 127`, () => {
      const got = keldro.convert(mode, input, { [option]: value });
      assert.equal(got.message, "Converted.");
      assert.deepEqual(got.bytes, at127.bytes);
    });
    if (keldroSaturates) sameAsKeldro(`${label} as keldro`, mode, join(examplesDir, name), { [option]: value });
  }
}

// ---- Change records: columns copied out once, agreeing with the log. ----
{
  const input = new Uint8Array(readFileSync(join(examplesDir, "vq2_bell.mmf")));
  const got = keldro.convert("tavi", input, { db: -3 }, { now: new Date(2026, 2, 21) });
  const { changes } = got;
  const columns = {
    track: Uint8Array, channel: Uint8Array, beforeVolume: Uint8Array, afterVolume: Uint8Array,
    beforeGain: Uint8Array, afterGain: Uint8Array, beforeLevel: Uint8Array, afterLevel: Uint8Array,
    action: Int32Array, position: Float64Array, seconds: Float64Array,
  };
  const snapshot = JSON.stringify(Object.fromEntries(Object.keys(columns).map((k) => [k, Array.from(changes[k])])));
  check("changes are columns", () => {
    assert.deepEqual(Object.keys(changes), ["length", ...Object.keys(columns)]);
    assert.ok(changes.length > 0);
    for (const [key, type] of Object.entries(columns)) {
      assert.ok(changes[key] instanceof type, key);
      assert.equal(changes[key].length, changes.length, key);
      assert.notEqual(changes[key].buffer, keldro.HEAP8.buffer, `${key} is a copy`);
    }
  });
  check("changes agree with the log's table", () => {
    // Rows of volume changes (actions 1 ... 4): "<seconds>\t<cell>\t<action>\t<before>\t<after>".
    const fromLog = got.logEntry
      .split("\r\n")
      .filter((line) => /^\d+\.\d{3}\t/.test(line))
      .map((line) => line.split("\t"))
      .map(([sec, , , , after]) => `${sec} ${after}`)
      .sort();
    const fromColumns = [];
    for (let i = 0; i < changes.length; i++)
      if (changes.action[i] >= 1 && changes.action[i] <= 4)
        fromColumns.push(`${changes.seconds[i].toFixed(3)} ${changes.afterVolume[i]}`);
    assert.deepEqual(fromColumns.sort(), fromLog);
  });
  // A larger conversion afterwards may grow and reuse the module's memory.
  keldro.convert("mfi", new Uint8Array(readFileSync(join(examplesDir, "mfi40_pulse.mld"))), { db: 3 });
  const big = new Uint8Array(8 << 20);
  keldro.convert("mfi", big, { db: 3 });
  check("changes stay valid after later calls", () =>
    assert.equal(JSON.stringify(Object.fromEntries(Object.keys(columns).map((k) => [k, Array.from(changes[k])]))), snapshot),
  );
}

// ---- Errors and conversions leave the module's memory as it was. ----
// Every argument is checked before the input is copied in, and the copy is
// freed on every path: 100 failing calls with a 4 MiB input each, and as
// many conversions, do not grow the heap.
{
  const input = new Uint8Array(4 << 20);
  input.set(readFileSync(join(examplesDir, "mfi30_march.mld")));
  const throwingGetter = Object.defineProperty({}, "mv", {
    get() {
      throw new Error("getter");
    },
    enumerable: true,
  });
  const failing = {
    "normalize out of range": () => keldro.convert("mfi", input, { normalize: 99 }),
    "normalize with db": () => keldro.convert("mfi", input, { normalize: -6, db: 1 }),
    "bad context": () => keldro.convert("mfi", input, { db: 1 }, { now: 5 }),
    "a setting whose getter throws": () => keldro.convert("mfi", input, throwingGetter),
    "a setting that is no number": () => keldro.convert("mfi", input, { db: "abc" }),
    "inspect of a bad format": () => keldro.inspect("wav", input),
  };
  const heap = () => keldro.HEAP8.length;
  for (const [label, call] of Object.entries(failing)) {
    assert.throws(call);
    const before = heap();
    for (let i = 0; i < 100; i++) assert.throws(call);
    check(`heap unchanged after 100 failing calls: ${label}`, () => assert.equal(heap(), before));
  }
  keldro.convert("mfi", input, { db: -3 });
  keldro.inspect("mfi", input);
  const before = heap();
  for (let i = 0; i < 100; i++) {
    keldro.convert("mfi", input, { db: -3 });
    keldro.inspect("mfi", input);
  }
  check("heap unchanged after 100 conversions", () => assert.equal(heap(), before));
}

// ---- The input as the typed array holds it, whatever its `length` claims. ----
// The claimed length neither sizes the copy in the module's memory nor the
// input the conversion reads.
{
  const bell = new Uint8Array(readFileSync(join(examplesDir, "vq2_bell.mmf")));
  const now = new Date(2026, 2, 21);
  const expected = keldro.convert("tavi", bell, { db: -3 }, { now });
  const claiming = (length) => {
    const own = new Uint8Array(bell);
    Object.defineProperty(own, "length", { value: length });
    return own;
  };
  class Claiming extends Uint8Array {
    get length() {
      return 16;
    }
    get byteLength() {
      return 16;
    }
  }
  const liars = { "own length 16": claiming(16), "own length 1 MiB": claiming(1 << 20), "subclass getters 16": new Claiming(bell) };
  for (const [label, liar] of Object.entries(liars)) {
    check(`an input whose ${label}: its real bytes`, () => {
      const got = keldro.convert("tavi", liar, { db: -3 }, { now });
      assert.equal(got.message, expected.message);
      assert.deepEqual(got.bytes, expected.bytes);
      assert.equal(keldro.inspect("tavi", liar).peakDb, keldro.inspect("tavi", bell).peakDb);
    });
  }
  check("after them the module still converts", () => {
    const big = new Uint8Array(manyVolumeChanges(Buffer.from(bell), 50_000));
    assert.equal(keldro.convert("tavi", big, { db: -3 }).message, "Converted.");
    assert.deepEqual(keldro.convert("tavi", bell, { db: -3 }, { now }).bytes, expected.bytes);
  });
  check("an object that only inherits from Uint8Array is refused", () =>
    assert.throws(() => keldro.convert("tavi", Object.create(Uint8Array.prototype), { db: -3 }), TypeError),
  );
}

// ---- The log entry's names and time. ----
// A lone surrogate is written as U+FFFD and takes nothing after it; a date
// that is none is refused rather than written as 0000/00/00.
{
  const mfi = new Uint8Array(readFileSync(join(examplesDir, "mfi20_chime.mld")));
  const entry = (context) => keldro.convert("mfi", mfi, { db: -3 }, context).logEntry;
  const names = [
    ["a\uD800b.mld", "a\uFFFDb.mld"],
    ["a\uDC00b.mld", "a\uFFFDb.mld"],
    ["a\uDBFF", "a\uFFFD"],
    ["\uDC00\uD800x", "\uFFFD\uFFFDx"],
    ["a\u{1F600}b.mld", "a\u{1F600}b.mld"],
  ];
  for (const [given, written] of names) {
    check(`the name ${JSON.stringify(given)}`, () => {
      const text = entry({ input: given, output: `out/${given}` });
      assert.ok(text.includes(`IN:${written}\t`), text.split("\r\n")[0]);
      assert.ok(text.includes(`OUT:out/${written}\r\n`));
    });
  }
  check("a valid date is the entry's time", () =>
    assert.match(entry({ now: new Date(2026, 2, 21, 13, 5, 9) }), /\tData:2026\/03\/21 13:05:09\r\n/),
  );
  const notDates = {
    "an Invalid Date": new Date(NaN),
    "a number": 5,
    "a date's text": "2026-03-21",
    "an object posing as a date": { getFullYear: () => 2026, getMonth: () => 2, getDate: () => 21, getHours: () => 0, getMinutes: () => 0, getSeconds: () => 0, getTime: () => 0 },
  };
  for (const [label, now] of Object.entries(notDates))
    check(`now as ${label} is refused`, () => assert.throws(() => entry({ now }), (e) => e instanceof TypeError && /^now /.test(e.message)));
}

// ---- An input too large for the module is refused before any work, and
// memory running out midway ends as keldro ends it; the module goes on. ----
// A fresh module of its own, whose memory these calls fill.
{
  const k = await createKeldro();
  const bell = readFileSync(join(examplesDir, "vq2_bell.mmf"));
  const expected = keldro.convert("tavi", new Uint8Array(bell), { db: -3 }, { now: new Date(2026, 2, 21) });
  const stillConverts = () =>
    assert.deepEqual(k.convert("tavi", new Uint8Array(bell), { db: -3 }, { now: new Date(2026, 2, 21) }).bytes, expected.bytes);
  const tooLarge = (e) => e instanceof RangeError && /too large for the module/.test(e.message);
  // 64 MiB of volume changes, a file keldro converts.
  const huge = new Uint8Array(manyVolumeChanges(bell, 16 << 20));
  check("a 64 MiB file is refused, not aborted", () => {
    assert.throws(() => k.convert("tavi", huge, { db: -3 }), tooLarge);
    assert.throws(() => k.convert("tavi", huge, { normalize: -6 }), tooLarge);
    assert.throws(() => k.inspect("tavi", huge), tooLarge);
    stillConverts();
  });
  check("the limit is the input's length: one byte more is refused", () => {
    assert.ok(k.maxInputBytes >= 16 << 20, `${k.maxInputBytes}`);
    assert.ok(k.convert("tavi", new Uint8Array(k.maxInputBytes), { db: -3 }).result > 1, "no TAVI file, but taken");
    assert.throws(() => k.convert("tavi", new Uint8Array(k.maxInputBytes + 1), { db: -3 }), tooLarge);
    assert.throws(() => k.inspect("mfi", new Uint8Array(k.maxInputBytes + 1)), tooLarge);
  });
  // Most of the module's memory taken, a file of 8 MiB of changes finds too little.
  check("memory running out midway: keldro's result for it, and the module goes on", () => {
    const blocks = [];
    for (let block; (block = k._malloc(64 << 20)); ) blocks.push(block);
    k._free(blocks.pop());
    const dense = new Uint8Array(manyVolumeChanges(bell, 2 << 20));
    // keldro's result for a file it cannot read (Result::FileReadError).
    const outOfMemory = { result: 26, message: "File read error.", exitStatus: -24 };
    try {
      for (const settings of [{ db: -3 }, { normalize: -6 }]) {
        const got = k.convert("tavi", dense, settings);
        assert.deepEqual({ result: got.result, message: got.message, exitStatus: got.exitStatus }, outOfMemory);
        assert.equal(got.bytes.length + got.changes.length, 0);
        assert.match(got.logEntry, /Result:NG\tError:File read error\.\(-24\)/);
      }
      assert.equal(k.inspect("tavi", dense).message, "File read error.");
    } finally {
      for (const block of blocks) k._free(block);
    }
    stillConverts();
    assert.equal(k.convert("tavi", dense, { db: -3 }).message, "Converted.");
  });
}

rmSync(tmp, { recursive: true, force: true });
for (const f of failures) console.error(`FAIL ${f}`);
console.log(`web core under Node: ${checks - failures.length} of ${checks} checks passed`);
process.exit(failures.length ? 1 : 0);
