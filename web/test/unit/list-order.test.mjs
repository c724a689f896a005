import assert from "node:assert/strict";
import { test } from "node:test";
import { addItem, shownItems, state } from "../../src/state.js";

test("the list sorts by name, kind, peak and result either way, and filters the failed files", () => {
  const levels = (kindText, peakDb) => ({ kindText, peakDb });
  const outcome = (result, message, before) => ({ result, message, before, key: "k" });
  state.settings = { key: "k" };
  addItem({ path: "b/z.mmf", mode: "tavi", levels: levels("TAVI/VQ-3", -4) });
  addItem({ path: "a.mld", mode: "mfi", outcome: outcome(0, "Converted.", levels("MFi/3.0", -9)) });
  addItem({ path: "b/a.mmf", mode: "tavi", outcome: outcome(5, "Can not find MaxGain.", levels("TAVI/VQ-7", null)) });
  addItem({ path: "notes.txt", mode: null, skipReason: "not a TAVI (.mmf) or MFi (.mld) file" });
  addItem({ path: "c.mmf", mode: "tavi", error: "out of memory" });
  const order = (sort, descending = false, failedOnly = false) => {
    Object.assign(state.view, { sort, descending, failedOnly });
    return shownItems().map((i) => i.path);
  };
  assert.deepEqual(order("added"), ["b/z.mmf", "a.mld", "b/a.mmf", "notes.txt", "c.mmf"]);
  assert.deepEqual(order("name"), ["a.mld", "b/a.mmf", "b/z.mmf", "c.mmf", "notes.txt"]);
  assert.deepEqual(order("name", true), ["notes.txt", "c.mmf", "b/z.mmf", "b/a.mmf", "a.mld"]);
  assert.deepEqual(order("kind"), ["notes.txt", "c.mmf", "a.mld", "b/z.mmf", "b/a.mmf"]);
  // Files whose peak is not known come last, ascending or descending.
  assert.deepEqual(order("peak"), ["a.mld", "b/z.mmf", "b/a.mmf", "notes.txt", "c.mmf"]);
  assert.deepEqual(order("peak", true), ["b/z.mmf", "a.mld", "b/a.mmf", "notes.txt", "c.mmf"]);
  // Failed first (by message), then converted, waiting, skipped.
  assert.deepEqual(order("result"), ["b/a.mmf", "c.mmf", "a.mld", "b/z.mmf", "notes.txt"]);
  assert.deepEqual(order("added", false, true), ["b/a.mmf", "c.mmf"]);
});
