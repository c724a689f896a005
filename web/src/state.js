// The page's state, in one place: the files, the settings as read, the run
// under way or last made, and how the list is shown. Other modules read it
// and change it through the functions here; the page redraws on the next
// frame after any change (changed()).
import { comparePathParts } from "./paths.js";
import { isSuccess } from "./outcome.js";

export const OUTPUT = "KELDRO_Output";
export const RESULT_FILE = "KELDRO_result.txt";

export const state = {
  // In the order they were added, which is the order of the result file:
  // { id, path, file, mode (null: skipped), skipReason, levels, outcome, error, cancelled, version,
  //   worker (the one that read it, and keeps its bytes) }
  items: [],
  nextId: 1,
  converter: "loading", // "loading", "ready" or the reason it is not
  settings: null, // readSettings()'s answer for the form as it is
  run: null, // { running, cancelled, total, done, ms, controller }
  note: "", // what the last addition of files did besides adding them
  view: { sort: "added", descending: false, failedOnly: false },
};

const listeners = new Set();
let scheduled = false;
export function onChange(fn) {
  listeners.add(fn);
}
export function changed() {
  if (scheduled) return;
  scheduled = true;
  requestAnimationFrame(() => {
    scheduled = false;
    for (const fn of listeners) fn();
  });
}

export function touch(item) {
  item.version++;
  changed();
}

export function addItem(fields) {
  const item = { id: state.nextId++, levels: null, outcome: null, error: null, cancelled: false, version: 0, ...fields };
  state.items.push(item);
  return item;
}

export function removeItem(item) {
  const i = state.items.indexOf(item);
  if (i >= 0) state.items.splice(i, 1);
  changed();
}

export function clearItems() {
  state.items = [];
  changed();
}

// An outcome counts only for the settings it was made with.
export function isCurrent(item) {
  return Boolean(item.outcome) && Boolean(state.settings) && item.outcome.key === state.settings.key;
}

export function isFailed(item) {
  return Boolean(item.error) || (Boolean(item.outcome) && !isSuccess(item.outcome));
}

export const isRunning = () => Boolean(state.run && state.run.running);

// What can be downloaded: the current outcomes, in the order the files
// were added, as keldro-batch lists its inputs.
export function currentOutcomes() {
  return state.items.filter(isCurrent);
}

export function counts() {
  let convertible = 0, skipped = 0, converted = 0, unchanged = 0, failed = 0, stale = 0, pending = 0, waiting = 0;
  for (const item of state.items) {
    if (!item.mode) {
      skipped++;
      continue;
    }
    convertible++;
    if (item.outcome && !isCurrent(item)) stale++;
    if (!item.outcome && !item.error && !item.cancelled) waiting++;
    if (!isCurrent(item)) {
      if (item.error) failed++;
      else pending++;
      continue;
    }
    if (!isSuccess(item.outcome)) failed++;
    else if (item.outcome.result === 1) unchanged++;
    else converted++;
  }
  return { convertible, skipped, converted, unchanged, failed, stale, pending, waiting };
}

// ---- The list's order. ----
const RESULT_ORDER = (item) => {
  if (!item.mode) return 4; // skipped
  if (isFailed(item)) return 0;
  if (!item.outcome) return 3; // waiting
  return item.outcome.result === 1 ? 2 : 1;
};
const levelsOf = (item) => (item.outcome ? item.outcome.before : item.levels);
const byText = (a, b) => (a < b ? -1 : a > b ? 1 : 0);
const byNumber = (a, b) => a - b;

// Per order: the key of a file, worked out once per sorting, and how two
// keys compare. A file without a key (a peak not known) comes last either way.
export const SORTS = {
  name: { key: (item) => item.path.split("/"), compare: comparePathParts },
  kind: { key: (item) => (levelsOf(item) ? levelsOf(item).kindText : ""), compare: byText },
  peak: { key: (item) => (levelsOf(item) && levelsOf(item).peakDb !== null ? levelsOf(item).peakDb : null), compare: byNumber },
  result: {
    key: (item) => [RESULT_ORDER(item), item.outcome ? item.outcome.message : item.error || ""],
    compare: (a, b) => a[0] - b[0] || byText(a[1], b[1]),
  },
};

// The files as the list shows them: filtered, then sorted (stably: the
// order of adding breaks ties).
export function shownItems() {
  const { sort, descending, failedOnly } = state.view;
  const list = failedOnly ? state.items.filter(isFailed) : state.items.slice();
  const order = SORTS[sort];
  if (!order) return descending ? list.reverse() : list;
  const keyed = list.map((item) => ({ item, key: order.key(item) }));
  const sign = descending ? -1 : 1;
  keyed.sort((a, b) => {
    if (a.key === null || b.key === null) return (a.key === null) - (b.key === null);
    return sign * order.compare(a.key, b.key);
  });
  return keyed.map((k) => k.item);
}
