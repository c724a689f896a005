import assert from "node:assert/strict";
import { test } from "node:test";
import { BUCKETS, changeColumns, chartData, chartSummary, slicesOf } from "../../src/chart-data.js";
import { changeText, isSuccess } from "../../src/outcome.js";

test("a quarter of a million changes make at most 2 000 points, in either shape of the change records", () => {
  const n = 250_000;
  const columns = {
    length: n, track: new Uint8Array(n), channel: new Uint8Array(n), action: new Int32Array(n).fill(1),
    seconds: Float64Array.from({ length: n }, (_, i) => i / 1000), beforeVolume: Uint8Array.from({ length: n }, (_, i) => i % 128),
    afterVolume: Uint8Array.from({ length: n }, (_, i) => (i % 128) >> 1), position: new Float64Array(n),
  };
  columns.action[7] = 0; // not a volume change: left out
  const data = chartData(columns);
  assert.equal(data.count, n - 1);
  assert.equal(data.end, (n - 1) / 1000);
  assert.deepEqual([data.before.min, data.before.max, data.after.min, data.after.max], [0, 127, 0, 63]);
  const slices = [...slicesOf(data)];
  assert.ok(slices.length * 4 <= 2000, `${slices.length * 4} points`);
  assert.equal(slices.length, BUCKETS);
  assert.deepEqual(slices[0], { slice: 0, beforeLow: 0, beforeHigh: 127, afterLow: 0, afterHigh: 63 });
  // Fewer slices for a small chart: each the lowest and highest of those it joins.
  const small = [...slicesOf(data, 10)];
  assert.deepEqual(small.map((s) => s.slice), [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]);
  assert.deepEqual(small[9], { slice: 9, beforeLow: 0, beforeHigh: 127, afterLow: 0, afterHigh: 63 });
  // Today's records, one object each, give the same numbers.
  const objects = Array.from({ length: 300 }, (_, i) => ({ action: 1 + (i % 4), seconds: i / 10, beforeVolume: 100, afterVolume: 90 + (i % 3) }));
  const fromObjects = chartData(objects);
  const fromColumns = chartData(changeColumns(objects));
  assert.deepEqual(fromObjects, fromColumns);
  assert.equal(chartSummary(fromObjects), "300 volume changes over 29.9 s: before 100, after 90–92");
  // A file of few changes keeps only the slices that hold one.
  const few = chartData([{ action: 2, seconds: 0, beforeVolume: 100, afterVolume: 71 }, { action: 2, seconds: 4, beforeVolume: 90, afterVolume: 64 }]);
  assert.deepEqual([...slicesOf(few)], [
    { slice: 0, beforeLow: 100, beforeHigh: 100, afterLow: 71, afterHigh: 71 },
    { slice: 499, beforeLow: 90, beforeHigh: 90, afterLow: 64, afterHigh: 64 },
  ]);
  assert.equal(chartSummary(chartData([])), "No volume changed");
});

test("a failed file shows no change, as keldro-batch lists none", () => {
  assert.equal(isSuccess({ result: 0 }) && isSuccess({ result: 1 }), true);
  assert.equal(isSuccess({ result: 5 }) || isSuccess(null), false);
  assert.equal(changeText({ result: 0, changeTenths: 10 }), " (+1.0 dB)");
  assert.equal(changeText({ result: 1, changeTenths: null }), " (unchanged)");
  assert.equal(changeText({ result: 7, changeTenths: 10 }), "");
  assert.equal(changeText({ result: 0 }), "");
});

test("changes all at 0 s make one slice; merged slices keep the lowest and highest of each", () => {
  const atZero = chartData([
    { action: 1, seconds: 0, beforeVolume: 100, afterVolume: 71 },
    { action: 3, seconds: 0, beforeVolume: 90, afterVolume: 64 },
  ]);
  assert.equal(atZero.count, 2);
  assert.deepEqual([...slicesOf(atZero)], [{ slice: 0, beforeLow: 90, beforeHigh: 100, afterLow: 64, afterHigh: 71 }]);
  assert.equal(chartSummary(atZero), "2 volume changes over 0.0 s: before 90–100, after 64–71");
  // Four changes in four slices, joined two by two: in the first pair the
  // lowest comes first, in the second last (and the highest the other way).
  const four = chartData([
    { action: 1, seconds: 0, beforeVolume: 70, afterVolume: 50 },
    { action: 1, seconds: 1, beforeVolume: 90, afterVolume: 60 },
    { action: 1, seconds: 2, beforeVolume: 100, afterVolume: 64 },
    { action: 1, seconds: 3, beforeVolume: 80, afterVolume: 30 },
  ]);
  assert.equal([...slicesOf(four)].length, 4);
  assert.deepEqual([...slicesOf(four, 2)], [
    { slice: 0, beforeLow: 70, beforeHigh: 90, afterLow: 50, afterHigh: 60 },
    { slice: 1, beforeLow: 80, beforeHigh: 100, afterLow: 30, afterHigh: 64 },
  ]);
});

test("the change normalising chose, as keldro-batch prints it (%+.1f dB)", () => {
  const rows = [[0, " (+0.0 dB)"], [5, " (+0.5 dB)"], [-15, " (-1.5 dB)"], [120, " (+12.0 dB)"]];
  for (const [tenths, text] of rows) assert.equal(changeText({ result: 0, changeTenths: tenths }), text, `${tenths}`);
});
