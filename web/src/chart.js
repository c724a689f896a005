// A small chart of the volumes a conversion changed, over the file's time:
// each change is a line from its value before (hollow) to after (filled).
const SVG = "http://www.w3.org/2000/svg";
const W = 176, H = 52, PAD = 4;

function el(name, attrs) {
  const e = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
  return e;
}

// Actions 1 ... 4 change a volume (0 ... 127) and carry it before and after.
const isVolumeChange = (c) => c.action >= 1 && c.action <= 4;

// The module gives the changes as columns (typed arrays); the chart reads rows.
function rowsOf(changes) {
  const rows = [];
  for (let i = 0; i < changes.length; i++)
    rows.push({ action: changes.action[i], seconds: changes.seconds[i], beforeVolume: changes.beforeVolume[i], afterVolume: changes.afterVolume[i] });
  return rows;
}

export function volumeChart(changes) {
  const volumes = rowsOf(changes).filter(isVolumeChange);
  const svg = el("svg", { class: "chart", viewBox: `0 0 ${W} ${H}`, role: "img" });
  if (volumes.length === 0) {
    svg.setAttribute("aria-label", "No volume changed");
    const t = el("text", { x: PAD, y: H / 2 + 4, "font-size": 10, fill: "#5b6470" });
    t.textContent = "no volume changed";
    svg.append(t);
    return svg;
  }
  const end = Math.max(...volumes.map((c) => c.seconds), 0.001);
  const x = (s) => PAD + (s / end) * (W - 2 * PAD);
  const y = (v) => H - PAD - (v / 127) * (H - 2 * PAD);
  svg.append(el("line", { class: "axis", x1: PAD, y1: H - PAD, x2: W - PAD, y2: H - PAD }));
  for (const c of volumes) {
    svg.append(el("line", { class: "link", x1: x(c.seconds), y1: y(c.beforeVolume), x2: x(c.seconds), y2: y(c.afterVolume) }));
    svg.append(el("circle", { class: "before", cx: x(c.seconds), cy: y(c.beforeVolume), r: 2.5 }));
    svg.append(el("circle", { class: "after", cx: x(c.seconds), cy: y(c.afterVolume), r: 2.5 }));
  }
  const range = (vs) => (Math.min(...vs) === Math.max(...vs) ? `${vs[0]}` : `${Math.min(...vs)}–${Math.max(...vs)}`);
  const text =
    `${volumes.length} volume change${volumes.length === 1 ? "" : "s"} over ${end.toFixed(1)} s: ` +
    `before ${range(volumes.map((c) => c.beforeVolume))}, after ${range(volumes.map((c) => c.afterVolume))}`;
  svg.setAttribute("aria-label", text);
  const title = el("title", {});
  title.textContent = text;
  svg.prepend(title);
  return svg;
}
