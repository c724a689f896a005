// Converts in the background, so the page never waits: files come in
// batches (File objects, read here), answers go back a few at a time. The
// core is the WebAssembly module; every rule (conversion, levels, the
// result-log entry, which names are convertible) is its own.
import createKeldro from "./keldro.mjs";
import { chartData } from "./chart-data.js";

let keldro = createKeldro();
keldro.then(
  () => postMessage({ type: "ready" }),
  (e) => postMessage({ type: "broken", message: String((e && e.message) || e) }),
);

const aborted = new Set();
// Answers go back at least this often while a batch is under way, and the
// worker looks at its messages (an abort) as often.
const SLICE_MS = 30;

// Reading a file asks the browser's process for it, which costs more than
// converting a small ringtone; a few reads are kept under way ahead of the
// file being converted, so that the waits overlap.
const READ_AHEAD = 16;

// The files read for their levels are kept, up to a budget, for converting
// them (the page sends each file back to the worker that read it). A File
// is a snapshot: kept bytes are what a second read would give.
const KEEP_BYTES = 32 << 20;
const kept = new Map(); // index -> Uint8Array
let keptBytes = 0;
function keep(index, bytes) {
  if (kept.has(index) || keptBytes + bytes.length > KEEP_BYTES) return;
  kept.set(index, bytes);
  keptBytes += bytes.length;
}
function forget(indexes) {
  for (const i of indexes || [...kept.keys()]) {
    const bytes = kept.get(i);
    if (bytes) keptBytes -= bytes.length;
    kept.delete(i);
  }
}

function levelsOf(k, mode, bytes) {
  const l = k.inspect(mode, bytes);
  return { kind: l.kind, kindText: l.kindText, maxGainDb: l.maxGainDb, masterVolume: l.masterVolume,
    channelVolume: l.channelVolume, peakDb: l.peakDb, result: l.result };
}

// A drawing never decides a file's result: the chart's numbers are worked
// out apart, and a fault there only leaves the chart out.
function chartOf(changes) {
  try {
    return chartData(changes);
  } catch {
    return null;
  }
}

// The levels before are read again only for a file whose levels the page
// does not have yet (`known`: it has them from an earlier inspect).
function convertOne(k, { path, mode, known }, input, settings, output) {
  const before = known ? null : levelsOf(k, mode, input);
  const r = k.convert(mode, input, settings, { input: path, output: `${output}/${path}` });
  const after = r.bytes.length ? levelsOf(k, mode, r.bytes) : null;
  // The output moves to the page without a copy when it has a buffer of its
  // own; a view into the module's memory is copied out first.
  const own = r.bytes.byteOffset === 0 && r.bytes.byteLength === r.bytes.buffer.byteLength;
  const bytes = r.bytes.length ? (own ? r.bytes : r.bytes.slice()) : null;
  const outcome = { result: r.result, message: r.message, exitStatus: r.exitStatus, kind: r.kind, logEntry: r.logEntry,
    before, after, chart: chartOf(r.changes), bytes };
  if ("changeTenths" in r) outcome.changeTenths = r.changeTenths;
  return outcome;
}

// Lets a message (an abort) in between two files.
const pause = () => new Promise((resolve) => {
  const channel = new MessageChannel();
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(0);
});

const running = new Set();

async function runBatch(id, files, work) {
  running.add(id);
  let k = await keldro;
  let answers = [], transfer = [], since = performance.now();
  const send = (final) => {
    postMessage({ id, answers, final }, transfer);
    answers = [];
    transfer = [];
  };
  const reads = [];
  const readAhead = (i) => {
    for (let j = reads.length; j < Math.min(files.length, i + READ_AHEAD); j++) {
      const held = kept.get(files[j].index);
      const read = held ? Promise.resolve(held) : files[j].file.arrayBuffer().then((b) => new Uint8Array(b));
      read.catch(() => {}); // a file not read (the batch aborted) is no fault
      reads.push(read);
    }
  };
  for (let i = 0; i < files.length; i++) {
    if (aborted.has(id)) break;
    const f = files[i];
    readAhead(i + 1);
    let answer;
    try {
      answer = { index: f.index, ...work(k, f, await reads[i]) };
      reads[i] = null;
    } catch (e) {
      // An abort (out of memory) leaves the module unusable: start a fresh one.
      answer = { index: f.index, error: String((e && e.message) || e) };
      if (e instanceof WebAssembly.RuntimeError) {
        keldro = createKeldro();
        k = await keldro;
      }
    }
    answers.push(answer);
    if (answer.outcome && answer.outcome.bytes) transfer.push(answer.outcome.bytes.buffer);
    if (performance.now() - since > SLICE_MS) {
      send(false);
      await pause();
      since = performance.now();
    }
  }
  running.delete(id);
  aborted.delete(id);
  send(true);
}

onmessage = ({ data }) => {
  const { id } = data;
  if (data.type === "abort") {
    if (running.has(id)) aborted.add(id);
  } else if (data.type === "forget") {
    forget(data.indexes);
  } else if (data.type === "modes") {
    keldro.then((k) => postMessage({ id, final: true, modes: data.names.map((n) => k.modeOfName(n)), reason: k.notConvertibleReason }));
  } else if (data.type === "inspect") {
    runBatch(id, data.files, (k, f, bytes) => {
      keep(f.index, bytes);
      return { levels: levelsOf(k, f.mode, bytes) };
    });
  } else if (data.type === "convert") {
    runBatch(id, data.files, (k, f, bytes) => ({ outcome: convertOne(k, f, bytes, data.settings, data.output) }));
  }
};
