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
const reader = new FileReaderSync();
// Answers go back at least this often while a batch is under way, and the
// worker looks at its messages (an abort) as often.
const SLICE_MS = 30;

function readFile(file) {
  return new Uint8Array(reader.readAsArrayBuffer(file));
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

function convertOne(k, { path, mode, file }, settings, output) {
  const input = readFile(file);
  const before = levelsOf(k, mode, input);
  const r = k.convert(mode, input, settings, { input: path, output: `${output}/${path}` });
  const after = r.bytes.length ? levelsOf(k, mode, r.bytes) : null;
  // The output is copied out of the module's memory into a buffer of its own,
  // which moves to the page without a copy.
  const bytes = r.bytes.length ? r.bytes.slice() : null;
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
  for (const f of files) {
    if (aborted.has(id)) break;
    let answer;
    try {
      answer = { index: f.index, ...work(k, f) };
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
  } else if (data.type === "modes") {
    keldro.then((k) => postMessage({ id, final: true, modes: data.names.map((n) => k.modeOfName(n)), reason: k.notConvertibleReason }));
  } else if (data.type === "inspect") {
    runBatch(id, data.files, (k, f) => ({ levels: levelsOf(k, f.mode, readFile(f.file)) }));
  } else if (data.type === "convert") {
    runBatch(id, data.files, (k, f) => ({ outcome: convertOne(k, f, data.settings, data.output) }));
  }
};
