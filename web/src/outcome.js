// What a conversion's answer means for the page. Pure, shared by the list,
// the outputs and the status line.

// Converted (0) or left unchanged (1): the file has an output.
export function isSuccess(outcome) {
  return Boolean(outcome) && (outcome.result === 0 || outcome.result === 1);
}

export function dbText(value) {
  return value === null || value === undefined ? "–" : `${value.toFixed(1)} dB`;
}

// The change normalising chose; a failed file has none, as keldro-batch lists none.
export function changeText(outcome) {
  const tenths = outcome.changeTenths;
  if (tenths === undefined || !isSuccess(outcome)) return "";
  if (tenths === null) return " (unchanged)";
  return ` (${tenths >= 0 ? "+" : ""}${(tenths / 10).toFixed(1)} dB)`;
}

export function resultText(outcome) {
  return outcome.message + changeText(outcome);
}

// MaxGain and the volume the file starts with, from inspect().
export function levelsText(levels) {
  if (!levels) return "";
  const parts = [];
  if (levels.maxGainDb !== null && levels.maxGainDb !== undefined) parts.push(`MaxGain ${levels.maxGainDb.toFixed(1)} dB`);
  if (levels.masterVolume !== null && levels.masterVolume !== undefined) parts.push(`master ${levels.masterVolume}`);
  if (levels.channelVolume !== null && levels.channelVolume !== undefined) parts.push(`channel ${levels.channelVolume}`);
  return parts.join(", ");
}

// A count in words: "1 file", "3 files".
export function plural(n, word) {
  return `${n} ${word}${n === 1 ? "" : "s"}`;
}
