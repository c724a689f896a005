import assert from "node:assert/strict";
import { test } from "node:test";
import { comparePaths, sortByPath } from "../../src/paths.js";
import { filesOfDrop, sortOut } from "../../src/intake.js";

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

// A dropped folder as Chromium hands it over: its reader gives at most 100
// entries a call, in no set order, then an empty batch.
function folderEntry(fullPath, children) {
  return {
    isFile: false, isDirectory: true, name: fullPath.split("/").pop(), fullPath,
    createReader() {
      let at = 0;
      return {
        readEntries(resolve) {
          const batch = children.slice(at, at + 100);
          at += batch.length;
          setTimeout(() => resolve(batch));
        },
      };
    },
  };
}
const fileEntry = (fullPath) => ({
  isFile: true, isDirectory: false, name: fullPath.split("/").pop(), fullPath,
  file: (resolve) => setTimeout(() => resolve({ name: fullPath.split("/").pop() })),
});

test("a dropped folder of more entries than one read gives is listed whole, in keldro-batch's order", async () => {
  const names = (dir, n) => Array.from({ length: n }, (_, i) => `/${dir}/t${String((i * 37) % n).padStart(3, "0")}.mmf`);
  const sub = folderEntry("/tones/sub", names("tones/sub", 130).map(fileEntry));
  const tones = folderEntry("/tones", [...names("tones", 250).map(fileEntry), sub]);
  const dropped = await filesOfDrop({ items: [{ webkitGetAsEntry: () => tones }], files: [] });
  const expected = [...names("tones", 250), ...names("tones/sub", 130)].map((p) => p.slice(1));
  assert.equal(dropped.length, 380);
  assert.deepEqual(dropped.map((f) => f.path), sortByPath(expected.map((path) => ({ path }))).map((f) => f.path));
  assert.equal(dropped[0].path, "tones/sub/t000.mmf");
});
