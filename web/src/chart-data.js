// The numbers a chart draws, worked out in the worker: the volume changes of
// a conversion reduced to at most BUCKETS slices of the file's time, each
// with the lowest and highest volume before and after. However many changes
// a file has (a megabyte of TAVI holds a quarter of a million), a chart
// draws at most 4 points per slice: 2 000 for BUCKETS = 500. Only slices
// that hold a change are kept, so a file of a few changes costs a few bytes.
export const BUCKETS = 500;

// The change records as columns, whichever shape convert() gives them in:
// columns of typed arrays ({ length, action, seconds, ... }) or, from
// modules built before those, one object per record.
export function changeColumns(changes) {
  if (!changes) return { length: 0 };
  if (!Array.isArray(changes)) return changes;
  const n = changes.length;
  const columns = {
    length: n,
    action: new Int32Array(n),
    seconds: new Float64Array(n),
    beforeVolume: new Uint8Array(n),
    afterVolume: new Uint8Array(n),
  };
  for (let i = 0; i < n; i++) {
    const c = changes[i];
    columns.action[i] = c.action;
    columns.seconds[i] = c.seconds;
    columns.beforeVolume[i] = c.beforeVolume;
    columns.afterVolume[i] = c.afterVolume;
  }
  return columns;
}

// Actions 1 ... 4 change a volume (0 ... 127) and carry it before and after.
const isVolumeChange = (action) => action >= 1 && action <= 4;

// Per slice that holds a change: its number, then the lowest and highest
// volume before, the lowest and highest after (5 numbers, in `slices`).
const SLICE = 5;

// -> { count, end (seconds), buckets, before: { min, max }, after: { min, max },
//      slices: Uint16Array of SLICE numbers per slice with a change, in time order }
export function chartData(changes, buckets = BUCKETS) {
  const c = changeColumns(changes);
  let count = 0;
  let end = 0.001;
  for (let i = 0; i < c.length; i++) {
    if (!isVolumeChange(c.action[i])) continue;
    count++;
    if (c.seconds[i] > end) end = c.seconds[i];
  }
  const data = { count, end, buckets, before: { min: 0, max: 0 }, after: { min: 0, max: 0 }, slices: new Uint16Array(0) };
  if (count === 0) return data;
  const low = (n) => new Uint8Array(n).fill(255);
  const bLow = low(buckets), bHigh = new Uint8Array(buckets), aLow = low(buckets), aHigh = new Uint8Array(buckets);
  for (let i = 0; i < c.length; i++) {
    if (!isVolumeChange(c.action[i])) continue;
    const b = Math.min(buckets - 1, Math.floor((c.seconds[i] / end) * buckets));
    const before = c.beforeVolume[i], after = c.afterVolume[i];
    if (before < bLow[b]) bLow[b] = before;
    if (before > bHigh[b]) bHigh[b] = before;
    if (after < aLow[b]) aLow[b] = after;
    if (after > aHigh[b]) aHigh[b] = after;
  }
  return { ...data, ...packed(buckets, bLow, bHigh, aLow, aHigh) };
}

function packed(buckets, bLow, bHigh, aLow, aHigh) {
  let used = 0;
  for (let b = 0; b < buckets; b++) if (bLow[b] !== 255) used++;
  const slices = new Uint16Array(used * SLICE);
  const before = { min: 255, max: 0 }, after = { min: 255, max: 0 };
  let k = 0;
  for (let b = 0; b < buckets; b++) {
    if (bLow[b] === 255) continue;
    slices.set([b, bLow[b], bHigh[b], aLow[b], aHigh[b]], k);
    k += SLICE;
    before.min = Math.min(before.min, bLow[b]);
    before.max = Math.max(before.max, bHigh[b]);
    after.min = Math.min(after.min, aLow[b]);
    after.max = Math.max(after.max, aHigh[b]);
  }
  return { slices, before, after };
}

// Each slice of `data` as { slice, beforeLow, beforeHigh, afterLow, afterHigh },
// in `buckets` slices (fewer, for a small chart).
export function* slicesOf(data, buckets = data.buckets) {
  const s = data.slices;
  let current = null;
  for (let k = 0; k < s.length; k += SLICE) {
    const slice = Math.floor((s[k] * buckets) / data.buckets);
    if (current && current.slice !== slice) {
      yield current;
      current = null;
    }
    if (!current) current = { slice, beforeLow: s[k + 1], beforeHigh: s[k + 2], afterLow: s[k + 3], afterHigh: s[k + 4] };
    else {
      current.beforeLow = Math.min(current.beforeLow, s[k + 1]);
      current.beforeHigh = Math.max(current.beforeHigh, s[k + 2]);
      current.afterLow = Math.min(current.afterLow, s[k + 3]);
      current.afterHigh = Math.max(current.afterHigh, s[k + 4]);
    }
  }
  if (current) yield current;
}

// What the chart shows, in words (its accessible name).
export function chartSummary(data) {
  if (data.count === 0) return "No volume changed";
  const range = (r) => (r.min === r.max ? `${r.min}` : `${r.min}–${r.max}`);
  return `${data.count} volume change${data.count === 1 ? "" : "s"} over ${data.end.toFixed(1)} s: ` +
    `before ${range(data.before)}, after ${range(data.after)}`;
}
