// A larger view of one file: its levels before and after, the chart at full
// size with its time axis, and the lines the result file holds for it.
import { largeChart, legend } from "./chart.js";
import { dbText, levelsText, resultText } from "./outcome.js";
import { RESULT_FILE } from "./state.js";

// A file with a quarter of a million changes has as many log lines; the
// view shows the first ones and says how many more the result file holds.
const MAX_LINES = 2000;

export function showDetail(dialog, item) {
  const o = item.outcome;
  const body = dialog.querySelector(".detail-body");
  dialog.querySelector("h2").textContent = item.path;
  const facts = document.createElement("dl");
  const fact = (term, value) => {
    const dt = document.createElement("dt"), dd = document.createElement("dd");
    dt.textContent = term;
    dd.textContent = value;
    facts.append(dt, dd);
  };
  fact("Kind", o.before.kindText);
  fact("Result", resultText(o));
  fact("Before", `${levelsText(o.before)}; peak ${dbText(o.before.peakDb)}`);
  if (o.after) fact("After", `${levelsText(o.after)}; peak ${dbText(o.after.peakDb)}`);
  const parts = [facts];
  if (o.chart) parts.push(largeChart(o.chart), legend());
  const lines = o.logEntry.split("\n");
  if (lines[lines.length - 1] === "") lines.pop();
  const heading = document.createElement("h3");
  heading.textContent = `Its lines in ${RESULT_FILE}`;
  const pre = document.createElement("pre");
  pre.className = "log";
  pre.tabIndex = 0;
  pre.textContent = lines.slice(0, MAX_LINES).join("\n");
  parts.push(heading, pre);
  if (lines.length > MAX_LINES) {
    const more = document.createElement("p");
    more.className = "hint";
    more.textContent = `… and ${lines.length - MAX_LINES} more lines in the result file.`;
    parts.push(more);
  }
  body.replaceChildren(...parts);
  dialog.showModal();
}
