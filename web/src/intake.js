// Files in: picked with the file inputs, dropped (files and whole folders),
// or handed to the installed app by the system. Each comes with its path
// relative to what was picked or dropped; folders are walked depth first
// with their entries in the order of their names, as keldro-batch walks them.
import { compareNames, sortByPath } from "./paths.js";

export function filesOfInput(input) {
  const list = [...input.files].map((file) => ({ path: file.webkitRelativePath || file.name, file }));
  if (list.some((f) => f.path.includes("/"))) sortByPath(list);
  return list;
}

function readAllEntries(reader) {
  return new Promise((resolve, reject) => {
    const all = [];
    const next = () =>
      reader.readEntries((batch) => {
        if (batch.length === 0) return resolve(all);
        all.push(...batch);
        next();
      }, reject);
    next();
  });
}

async function walkEntry(entry, out) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    out.push({ path: entry.fullPath.replace(/^\//, ""), file });
  } else if (entry.isDirectory) {
    const children = await readAllEntries(entry.createReader());
    children.sort((a, b) => compareNames(a.name, b.name));
    for (const child of children) await walkEntry(child, out);
  }
}

export async function filesOfDrop(dataTransfer) {
  const entries = [...dataTransfer.items].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry()).filter(Boolean);
  if (entries.length === 0) return [...dataTransfer.files].map((file) => ({ path: file.name, file }));
  const out = [];
  for (const e of entries) await walkEntry(e, out);
  return out;
}

// The installed app opened with files (file handling: .mmf and .mld).
export async function filesOfLaunch(handles) {
  const out = [];
  for (const h of handles) if (h.kind === "file") out.push({ path: h.name, file: await h.getFile() });
  return out;
}

// Which of the files found are new, which the list holds already (the same
// path, size and time: the same file given twice) and which clash with a
// file of the list by path: keldro-batch skips a second file with the same
// output, with its reason.
export function sortOut(found, listed) {
  const byPath = new Map();
  for (const i of listed) if (!byPath.has(i.path)) byPath.set(i.path, i);
  const fresh = [], again = [], clashing = [];
  for (const f of found) {
    const earlier = byPath.get(f.path);
    if (!earlier) {
      byPath.set(f.path, f);
      fresh.push(f);
    } else if (earlier.file.size === f.file.size && earlier.file.lastModified === f.file.lastModified) {
      again.push(f);
    } else {
      clashing.push(f);
    }
  }
  return { fresh, again, clashing };
}
