import assert from "node:assert/strict";
import { test } from "node:test";
import { comparePaths, sortByPath } from "../../src/paths.js";
import { sortOut } from "../../src/intake.js";

test("paths sort as keldro-batch walks folders: by element, names by UTF-8 bytes", () => {
  const paths = ["b.mmf", "a/z.mld", "a.mmf", "a/b/c.mmf", "ｚ.mmf", "😀.mmf", "Z.mmf", "é.mmf"];
  const sorted = sortByPath(paths.map((path) => ({ path }))).map((f) => f.path);
  // By bytes: "Z" < "a" < "b" < "é" (C3 A9) < "ｚ" (EF BD 9A) < "😀" (F0 9F 98 80);
  // a folder "a" before the file "a.mmf", its contents walked first.
  assert.deepEqual(sorted, ["Z.mmf", "a/b/c.mmf", "a/z.mld", "a.mmf", "b.mmf", "é.mmf", "ｚ.mmf", "😀.mmf"]);
  const bytes = (s) => Buffer.from(s, "utf8");
  for (let i = 1; i < sorted.length; i++) {
    const [x, y] = [sorted[i - 1].split("/")[0], sorted[i].split("/")[0]];
    if (x !== y) assert.ok(Buffer.compare(bytes(x), bytes(y)) < 0, `${x} before ${y}`);
  }
  assert.equal(comparePaths("x/a.mmf", "x/a.mmf"), 0);
});

test("files given again are not listed twice; another file of the same path is told apart", () => {
  const file = (size, lastModified = 1) => ({ size, lastModified });
  const listed = [{ path: "a.mmf", file: file(10) }];
  const { fresh, again, clashing } = sortOut(
    [
      { path: "a.mmf", file: file(10) }, // the same file once more
      { path: "a.mmf", file: file(12) }, // another folder's a.mmf
      { path: "b.mmf", file: file(5) },
      { path: "b.mmf", file: file(6) },
    ],
    listed,
  );
  assert.deepEqual(fresh.map((f) => f.file.size), [5]);
  assert.deepEqual(again.map((f) => f.file.size), [10]);
  assert.deepEqual(clashing.map((f) => f.file.size), [12, 6]);
});
