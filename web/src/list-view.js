// The file list: a table that holds rows only for what is on screen (plus a
// few around it), so 15 000 files cost what 30 do. Two spacer rows stand
// for the rest; every row is as high as the first one drawn. A row is built
// again only when its file changed (its version) or the settings did.
import { dbText, levelsText, resultText, isSuccess } from "./outcome.js";
import { isCurrent, isFailed, isRunning, state } from "./state.js";
import { smallChart } from "./chart.js";

const OVERSCAN = 6;
const COLUMNS = 8;

export class FileList {
  constructor(scroller, table, actions) {
    this.scroller = scroller;
    this.table = table;
    this.tbody = table.tBodies[0];
    this.actions = actions; // { remove(item), download(item), open(item) }
    this.items = [];
    this.rowHeight = 0;
    this.cache = new Map(); // id -> { tr, stamp }
    this.top = spacer();
    this.bottom = spacer();
    this.tbody.replaceChildren(this.top, this.bottom);
    let pending = false;
    const later = () => {
      if (pending) return;
      pending = true;
      requestAnimationFrame(() => {
        pending = false;
        this.render();
      });
    };
    scroller.addEventListener("scroll", later, { passive: true });
    window.addEventListener("resize", () => ((this.rowHeight = 0), later()));
  }

  show(items) {
    this.items = items;
    this.table.setAttribute("aria-rowcount", String(items.length + 1));
    this.render();
  }

  render() {
    const n = this.items.length;
    const height = this.rowHeight || 56;
    const head = this.table.tHead ? this.table.tHead.offsetHeight : 0;
    const scrollTop = Math.max(0, this.scroller.scrollTop - head);
    const first = Math.max(0, Math.floor(scrollTop / height) - OVERSCAN);
    const last = Math.min(n, Math.ceil((scrollTop + this.scroller.clientHeight) / height) + OVERSCAN);
    const rows = [];
    const stampBase = `${state.settings ? state.settings.key : ""}|${isRunning()}`;
    const live = new Map();
    for (let i = first; i < last; i++) {
      const item = this.items[i];
      const stamp = `${item.version}|${stampBase}`;
      let entry = this.cache.get(item.id);
      if (!entry || entry.stamp !== stamp) entry = { tr: this.row(item), stamp };
      entry.tr.setAttribute("aria-rowindex", String(i + 2));
      live.set(item.id, entry);
      rows.push(entry.tr);
    }
    this.cache = live;
    this.top.firstChild.style.height = `${first * height}px`;
    this.bottom.firstChild.style.height = `${(n - last) * height}px`;
    // The rows in place are left alone (a focused button keeps its focus).
    const now = [...this.tbody.children].slice(1, -1);
    if (now.length !== rows.length || now.some((tr, i) => tr !== rows[i])) {
      for (const tr of now) if (!rows.includes(tr)) tr.remove();
      let before = this.bottom;
      for (let i = rows.length - 1; i >= 0; i--) {
        if (rows[i].nextSibling !== before) this.tbody.insertBefore(rows[i], before);
        before = rows[i];
      }
    }
    if (!this.rowHeight && rows.length) {
      this.rowHeight = rows[0].getBoundingClientRect().height || 0;
      if (this.rowHeight && this.rowHeight !== height) this.render();
    }
  }

  row(item) {
    const tr = document.createElement("tr");
    tr.className = "row";
    tr.dataset.path = item.path;
    const cell = (label, className, content) => {
      const td = document.createElement("td");
      td.dataset.label = label;
      if (className) td.className = className;
      if (content !== undefined) td.append(content);
      tr.append(td);
      return td;
    };
    const o = item.outcome;
    const levels = o ? o.before : item.levels;
    const current = isCurrent(item);
    cell("File", "name", item.path).title = item.path;
    cell("Kind", "kind", levels ? levels.kindText : "");
    cell("Levels", "levels", levelsText(levels)).title = levelsText(levels);
    cell("Peak before", "num", levels ? dbText(levels.peakDb) : "–");
    const result = cell("Result", "result", resultOf(item));
    result.title = resultOf(item);
    cell("Peak after", "num", o && current && o.after ? dbText(o.after.peakDb) : "–");
    const chart = cell("Volumes over time", "chart");
    const actions = cell("", "actions");
    if (!item.mode) tr.classList.add("skipped");
    else if (o && !current) {
      tr.classList.add("stale");
      const mark = document.createElement("strong");
      mark.textContent = "Out of date: ";
      result.prepend(mark);
    } else if (isFailed(item)) tr.classList.add("failed");
    else if (o) tr.classList.add("done");
    if (o && isSuccess(o) && o.chart) {
      const open = button("", `Show ${item.path} larger, with its result-log lines`, () => this.actions.open(item));
      open.className = "chart-button";
      open.append(smallChart(o.chart));
      chart.append(open);
    }
    if (o && isSuccess(o) && o.bytes) {
      const download = button("Download", `Download ${item.path}`, () => this.actions.download(item));
      download.disabled = !current || isRunning();
      actions.append(download);
    }
    const remove = button("Remove", `Remove ${item.path} from the list`, () => this.actions.remove(item));
    remove.disabled = isRunning();
    actions.append(remove);
    return tr;
  }
}

function resultOf(item) {
  if (!item.mode) return `Skipped: ${item.skipReason}`;
  if (item.error) return `Not converted: ${item.error}`;
  if (item.outcome) return resultText(item.outcome);
  if (item.cancelled) return "Not converted (cancelled)";
  return "Waiting";
}

function button(text, label, onClick) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = text;
  b.setAttribute("aria-label", label);
  b.addEventListener("click", onClick);
  return b;
}

function spacer() {
  const tr = document.createElement("tr");
  tr.className = "spacer";
  tr.setAttribute("aria-hidden", "true");
  const td = document.createElement("td");
  td.colSpan = COLUMNS;
  tr.append(td);
  return tr;
}
