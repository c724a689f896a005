// Charts of the volumes a conversion changed, over the file's time in
// seconds: grey where the volumes were, blue where they are now. Drawn from
// chartData() (at most 4 points per time slice), as two SVG paths, so a
// chart is a handful of nodes however many changes the file has.
import { chartSummary, slicesOf } from "./chart-data.js";

const SVG = "http://www.w3.org/2000/svg";

function el(name, attrs, text) {
  const e = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
  if (text !== undefined) e.textContent = text;
  return e;
}

// Both series as paths: per slice a vertical stroke from its lowest to its
// highest volume (a dot where they are equal; the round caps draw it).
function seriesPaths(data, buckets, x, y) {
  let before = "", after = "";
  const stroke = (px, low, high) => `M${px} ${y(high).toFixed(1)}V${y(low).toFixed(1)}`;
  for (const s of slicesOf(data, buckets)) {
    const px = x(s.slice).toFixed(1);
    before += stroke(px, s.beforeLow, s.beforeHigh);
    after += stroke(px, s.afterLow, s.afterHigh);
  }
  return { before, after };
}

function secondsText(s) {
  return `${s < 10 ? s.toFixed(1) : s.toFixed(0)} s`;
}

// width/height in the SVG's units; small charts leave out the ticks' labels
// but for the end time, large ones label five ticks and the volume axis.
function draw(data, { width, height, large }) {
  const pad = large ? { l: 34, r: 10, t: 10, b: 26 } : { l: 3, r: 3, t: 4, b: 12 };
  const buckets = Math.min(data.buckets, Math.floor((width - pad.l - pad.r) / (large ? 1 : 2)));
  const svg = el("svg", { class: large ? "chart large" : "chart", viewBox: `0 0 ${width} ${height}`, role: "img" });
  const summary = chartSummary(data);
  svg.setAttribute("aria-label", summary);
  svg.append(el("title", {}, summary));
  const plotW = width - pad.l - pad.r, plotH = height - pad.t - pad.b;
  const x = (i) => pad.l + ((i + 0.5) / buckets) * plotW;
  const y = (v) => pad.t + plotH - (v / 127) * plotH;
  svg.append(el("line", { class: "axis", x1: pad.l, y1: pad.t + plotH, x2: width - pad.r, y2: pad.t + plotH }));
  const fontSize = large ? 11 : 8;
  if (data.count === 0) {
    svg.append(el("text", { x: pad.l + 2, y: pad.t + plotH / 2 + 4, "font-size": fontSize, class: "label" }, "no volume changed"));
    return svg;
  }
  const ticks = large ? [0, 0.25, 0.5, 0.75, 1] : [0, 1];
  for (const t of ticks) {
    const px = pad.l + t * plotW;
    const anchor = t === 0 ? "start" : t === 1 ? "end" : "middle";
    svg.append(el("line", { class: "axis", x1: px, y1: pad.t + plotH, x2: px, y2: pad.t + plotH + 3 }));
    svg.append(el("text", { x: px, y: height - 2, "font-size": fontSize, "text-anchor": anchor, class: "label" }, secondsText(t * data.end)));
  }
  if (large) {
    for (const v of [0, 64, 127]) {
      svg.append(el("text", { x: pad.l - 4, y: y(v) + 4, "font-size": fontSize, "text-anchor": "end", class: "label" }, String(v)));
      svg.append(el("line", { class: "grid", x1: pad.l, y1: y(v), x2: width - pad.r, y2: y(v) }));
    }
  }
  const stroke = large ? 3 : 3.5;
  const paths = seriesPaths(data, buckets, x, y);
  svg.append(el("path", { class: "before", "stroke-width": stroke, d: paths.before }));
  svg.append(el("path", { class: "after", "stroke-width": stroke, d: paths.after }));
  return svg;
}

export function smallChart(data) {
  return draw(data, { width: 176, height: 52, large: false });
}

export function largeChart(data) {
  return draw(data, { width: 720, height: 260, large: true });
}

// The key to both: a swatch per series.
export function legend() {
  const p = document.createElement("p");
  p.className = "legend";
  for (const [cls, text] of [["before", "before"], ["after", "after"]]) {
    const swatch = document.createElement("span");
    swatch.className = `swatch ${cls}`;
    swatch.setAttribute("aria-hidden", "true");
    p.append(swatch, ` ${text} `);
  }
  p.append("· volume (0–127) over the file's time in seconds");
  return p;
}
