// The numbers a chart draws, worked out in the worker: the volume changes of
// a conversion reduced to at most BUCKETS slices of the file's time, each
// with the lowest and highest volume before and after. However many changes
// a file has (a megabyte of TAVI holds a quarter of a million), a chart
// draws at most 4 points per slice: 2 000 for BUCKETS = 500.
export const BUCKETS = 500;
const EMPTY = 255; // no change in the slice (volumes are 0 ... 127)

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

// -> { count, end (seconds), before: { min, max }, after: { min, max },
//      buckets, beforeLow, beforeHigh, afterLow, afterHigh (Uint8Array per
//      slice; 255 where the slice holds no change) }
export function chartData(changes, buckets = BUCKETS) {
  const c = changeColumns(changes);
  let count = 0;
  let end = 0.001;
  for (let i = 0; i < c.length; i++) {
    if (!isVolumeChange(c.action[i])) continue;
    count++;
    if (c.seconds[i] > end) end = c.seconds[i];
  }
  const lows = () => new Uint8Array(buckets).fill(EMPTY);
  const data = {
    count, end, buckets,
    before: { min: EMPTY, max: -1 }, after: { min: EMPTY, max: -1 },
    beforeLow: lows(), beforeHigh: new Uint8Array(buckets), afterLow: lows(), afterHigh: new Uint8Array(buckets),
  };
  if (count === 0) return data;
  for (let i = 0; i < c.length; i++) {
    if (!isVolumeChange(c.action[i])) continue;
    const b = Math.min(buckets - 1, Math.floor((c.seconds[i] / end) * buckets));
    const before = c.beforeVolume[i], after = c.afterVolume[i];
    if (before < data.beforeLow[b]) data.beforeLow[b] = before;
    if (before > data.beforeHigh[b]) data.beforeHigh[b] = before;
    if (after < data.afterLow[b]) data.afterLow[b] = after;
    if (after > data.afterHigh[b]) data.afterHigh[b] = after;
    if (before < data.before.min) data.before.min = before;
    if (before > data.before.max) data.before.max = before;
    if (after < data.after.min) data.after.min = after;
    if (after > data.after.max) data.after.max = after;
  }
  return data;
}

// The same data in fewer slices, for a small chart.
export function coarser(data, buckets) {
  if (buckets >= data.buckets) return data;
  const out = { ...data, buckets, beforeLow: new Uint8Array(buckets).fill(EMPTY), beforeHigh: new Uint8Array(buckets),
    afterLow: new Uint8Array(buckets).fill(EMPTY), afterHigh: new Uint8Array(buckets) };
  for (let i = 0; i < data.buckets; i++) {
    if (data.beforeLow[i] === EMPTY) continue;
    const b = Math.floor((i * buckets) / data.buckets);
    out.beforeLow[b] = Math.min(out.beforeLow[b], data.beforeLow[i]);
    out.beforeHigh[b] = Math.max(out.beforeHigh[b], data.beforeHigh[i]);
    out.afterLow[b] = Math.min(out.afterLow[b], data.afterLow[i]);
    out.afterHigh[b] = Math.max(out.afterHigh[b], data.afterHigh[i]);
  }
  return out;
}

export function isEmptySlice(low) {
  return low === EMPTY;
}

// What the chart shows, in words (its accessible name).
export function chartSummary(data) {
  if (data.count === 0) return "No volume changed";
  const range = (r) => (r.min === r.max ? `${r.min}` : `${r.min}–${r.max}`);
  return `${data.count} volume change${data.count === 1 ? "" : "s"} over ${data.end.toFixed(1)} s: ` +
    `before ${range(data.before)}, after ${range(data.after)}`;
}
