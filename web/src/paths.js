// Paths as keldro-batch orders them: element by element, each name compared
// by its bytes in UTF-8. UTF-8's byte order is the order of code points; a
// JavaScript string compares UTF-16 units, which puts characters beyond
// U+FFFF (surrogate pairs) before U+E000...U+FFFF, so names are compared by
// code point here.
export function compareNames(a, b) {
  const n = Math.min(a.length, b.length);
  for (let i = 0; i < n; i++) {
    const x = a.codePointAt(i), y = b.codePointAt(i);
    if (x !== y) return x < y ? -1 : 1;
    if (x > 0xffff) i++; // the second half of the pair is equal too
  }
  return a.length - b.length;
}

// Depth first: a folder's files and subfolders in the order of their names,
// as a walk of sorted folder entries lists them.
export function comparePaths(a, b) {
  return comparePathParts(a.split("/"), b.split("/"));
}

// The same for paths already split into their elements.
export function comparePathParts(x, y) {
  const n = Math.min(x.length, y.length);
  for (let i = 0; i < n; i++) {
    if (x[i] !== y[i]) return compareNames(x[i], y[i]);
  }
  return x.length - y.length;
}

export function sortByPath(list, pathOf = (f) => f.path) {
  return list.sort((a, b) => comparePaths(pathOf(a), pathOf(b)));
}
