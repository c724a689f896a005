// The page's side of the converter: a few workers (one per core, up to
// four), each asked by request and answered by message. A request can be
// given an AbortSignal: the promise rejects at once, the worker is told and
// stops between two files, and whatever it still sends is ignored.
export class WorkerBridge {
  constructor(url, count) {
    this.workers = [];
    this.pending = new Map(); // id -> { resolve, reject, onAnswers }
    this.nextId = 1;
    let started = 0;
    this.ready = new Promise((resolve, reject) => {
      for (let i = 0; i < count; i++) {
        const worker = new Worker(url, { type: "module" });
        worker.onmessage = ({ data }) => {
          if (data.type === "ready") {
            if (++started === count) resolve();
          } else if (data.type === "broken") {
            reject(new Error(data.message));
          } else {
            this.answer(data);
          }
        };
        worker.onerror = (e) => {
          e.preventDefault();
          reject(new Error(e.message || "the worker's script could not be loaded"));
        };
        this.workers.push(worker);
      }
    });
  }

  answer(data) {
    const p = this.pending.get(data.id);
    if (!p) return; // aborted: what was still under way is dropped
    if (data.answers && data.answers.length && p.onAnswers) p.onAnswers(data.answers);
    if (!data.final) return;
    this.pending.delete(data.id);
    p.resolve(data);
  }

  // One request to one worker; onAnswers(answers) gets the answers of a
  // batch as they come.
  request(workerIndex, message, { signal, onAnswers, transfer = [] } = {}) {
    const id = this.nextId++;
    const worker = this.workers[workerIndex];
    return new Promise((resolve, reject) => {
      if (signal && signal.aborted) return reject(signal.reason);
      this.pending.set(id, { resolve, reject, onAnswers });
      worker.postMessage({ ...message, id }, transfer);
      if (!signal) return;
      signal.addEventListener("abort", () => {
        if (!this.pending.delete(id)) return;
        worker.postMessage({ type: "abort", id });
        reject(signal.reason);
      }, { once: true });
    });
  }

  // Every file, in batches spread over the workers, two under way per
  // worker so that none waits for the page between two batches. A file goes
  // to the worker workerOf(file) names, if any (the one that read it
  // before), until that worker's share is done and it helps the others.
  // onAnswers(answers, worker) gets the answers as they come; resolves
  // when all are answered.
  async runBatches(message, files, { signal, onAnswers, workerOf = () => undefined } = {}) {
    const n = this.workers.length;
    const shares = Array.from({ length: n }, () => []);
    const unplaced = [];
    for (const f of files) {
      const w = workerOf(f);
      (w >= 0 && w < n ? shares[w] : unplaced).push(f);
    }
    // Files no worker has read are dealt out to even the shares.
    for (const f of unplaced) shares.reduce((a, b) => (b.length < a.length ? b : a)).push(f);
    const queues = shares.map((share) => batchesOf(share));
    const take = (w) => {
      if (queues[w].length) return queues[w].shift();
      const other = queues.reduce((a, b) => (b.length > a.length ? b : a));
      return other.pop(); // from the far end of the longest queue
    };
    const lane = async (w) => {
      for (let files = take(w); files; files = take(w)) {
        await this.request(w, { ...message, files }, { signal, onAnswers: (answers) => onAnswers(answers, w) });
      }
    };
    const lanes = [];
    for (let w = 0; w < n; w++) lanes.push(lane(w), lane(w));
    await Promise.all(lanes);
  }

  // Tells every worker to drop what it keeps of these files (all if none named).
  forget(indexes) {
    for (const worker of this.workers) worker.postMessage({ type: "forget", indexes });
  }
}

// Files in batches of at most `count` files and about `bytes` bytes (a
// larger file makes a batch of its own).
export function batchesOf(files, count = 64, bytes = 1 << 20) {
  const batches = [];
  let batch = [], size = 0;
  for (const f of files) {
    if (batch.length && (batch.length >= count || size + f.file.size > bytes)) {
      batches.push(batch);
      batch = [];
      size = 0;
    }
    batch.push(f);
    size += f.file.size;
  }
  if (batch.length) batches.push(batch);
  return batches;
}
