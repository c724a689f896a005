import assert from "node:assert/strict";
import { test } from "node:test";
import { readSettings, parseField, VOLUME_FIELDS, NORMALIZE_FIELD } from "../../src/settings.js";

const field = (name) => [...VOLUME_FIELDS, NORMALIZE_FIELD].find((f) => f.name === name);

test("numbers as people type them: a decimal comma is a point; anything else is refused, never guessed", () => {
  const cases = [
    ["db", "-3,5", -3.5], ["db", "-3.5", -3.5], ["db", " +2 ", 2], ["db", "−6", -6], ["db", ",5", 0.5], ["db", "4.", 4],
    ["db", "60", 60], ["mg", "-4,5", -4.5], ["mv", "100", 100], ["c16", "0", 0], ["normalize", "-6,0", -6],
    ["db", "-3,55", "error"], ["db", "1,000", "error"], ["db", "1.000.5", "error"], ["db", "abc", "error"],
    ["db", "-3 dB", "error"], ["db", "1e1", "error"], ["db", "61", "error"], ["db", "--3", "error"],
    ["mg", "-4.3", "error"], ["mg", "1", "error"], ["mv", "100,5", "error"], ["mv", "128", "error"],
    ["db", "", "empty"], ["db", "   ", "empty"],
  ];
  for (const [name, text, want] of cases) {
    const r = parseField(field(name), text);
    if (want === "error") assert.ok(r.error && r.error.startsWith(field(name).label), `${name} "${text}": ${JSON.stringify(r)}`);
    else if (want === "empty") assert.deepEqual(r, { empty: true }, `${name} "${text}"`);
    else assert.deepEqual(r, { value: want }, `${name} "${text}"`);
  }
});

test("Convert waits for a change or normalising, and for every value to be a number", () => {
  const empty = readSettings({ db: "", mg: "", mv: "", regulate: true, normalizeOn: false, normalize: "-6" });
  assert.equal(empty.ready, false);
  assert.match(empty.reason, /Choose a change/);
  const change = readSettings({ db: "-3,5", c2: "40", regulate: false, normalizeOn: false, normalize: "" });
  assert.equal(change.ready, true);
  assert.deepEqual(change.settings, { regulate: false, db: -3.5, c2: 40 });
  const typo = readSettings({ db: "-3,5", mv: "1OO", normalizeOn: false });
  assert.equal(typo.ready, false);
  assert.deepEqual(Object.keys(typo.errors), ["mv"]);
  assert.match(typo.reason, /Master volume: "1OO" is not a number/);
  // Normalising uses only its target; the volume fields are not read then.
  const normal = readSettings({ db: "abc", normalizeOn: true, normalize: "-6,5", regulate: true });
  assert.deepEqual(normal.settings, { regulate: true, normalize: -6.5 });
  assert.equal(normal.ready, true);
  assert.equal(readSettings({ normalizeOn: true, normalize: "" }).ready, false);
  // Equal settings, equal keys; a changed value, another key.
  assert.equal(readSettings({ db: "-3" }).key, readSettings({ db: "-3,0" }).key);
  assert.notEqual(readSettings({ db: "-3" }).key, readSettings({ db: "6" }).key);
});
