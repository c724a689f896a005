// The settings as a person types them, read into what the converter gets.
// Pure: no DOM, so the rules are tested under Node (test/unit).
//
// Numbers are read here rather than by <input type=number>, which in an
// English locale turns "-3,5" into -35 or into nothing without a word: a
// decimal comma counts as a point, and anything else that is not a plain
// number is refused with a message beside the field.

const channel = (n) => ({ name: `c${n}`, label: `Channel ${n}`, min: 0, max: 127, step: 1 });

// keldro-batch's options, with the ranges and steps the fields allow.
export const VOLUME_FIELDS = [
  { name: "db", label: "Relative change", unit: "dB", min: -60, max: 60, step: 0.1 },
  { name: "mg", label: "MaxGain", unit: "dB", min: -12, max: 0, step: 0.5 },
  { name: "mv", label: "Master volume", min: 0, max: 127, step: 1 },
  ...Array.from({ length: 16 }, (_, i) => channel(i + 1)),
  { name: "ca", label: "ADPCM", min: 0, max: 127, step: 1 },
];
export const NORMALIZE_FIELD = { name: "normalize", label: "Target", unit: "dB", min: -60, max: 60, step: 0.1 };
export const FIELDS = [...VOLUME_FIELDS, NORMALIZE_FIELD];

const NUMBER = /^[+-]?(?:\d+(?:[.,]\d*)?|[.,]\d+)$/;

// A field's text -> { value } (a number), { empty: true } or { error }.
export function parseField(field, text) {
  const t = String(text ?? "").trim().replace(/^\u2212/, "-");
  if (t === "") return { empty: true };
  const range = `a number from ${field.min} to ${field.max}`;
  if (!NUMBER.test(t)) return { error: `${field.label}: "${t}" is not a number; enter ${range}.` };
  // "1,000" may be a thousand or one: neither is guessed.
  if (/,\d{3}$/.test(t)) return { error: `${field.label}: "${t}" is ambiguous; write the decimal point as "." or ",", with no thousands separator.` };
  const value = Number(t.replace(",", "."));
  if (value < field.min || value > field.max) return { error: `${field.label}: ${t} is out of range; enter ${range}.` };
  const steps = value / field.step;
  if (Math.abs(steps - Math.round(steps)) > 1e-9) {
    const what = field.step === 1 ? "a whole number" : `a multiple of ${field.step}`;
    return { error: `${field.label}: ${t} is not ${what}.` };
  }
  return { value: Number(value.toFixed(1)) };
}

// values: { db: "-3", ..., normalize: "-6", normalizeOn: bool, regulate: bool }
// -> { settings (what convert() gets), key (equal keys, equal outputs),
//      errors ({ name: message }), ready, reason (why not, when not) }
export function readSettings(values) {
  const settings = { regulate: Boolean(values.regulate) };
  const errors = {};
  const fields = values.normalizeOn ? [NORMALIZE_FIELD] : VOLUME_FIELDS;
  for (const field of fields) {
    const r = parseField(field, values[field.name]);
    if (r.error) errors[field.name] = r.error;
    else if (!r.empty) settings[field.name] = r.value;
  }
  const chosen = Object.keys(settings).length > 1;
  let reason = "";
  const firstError = Object.values(errors)[0];
  if (firstError) reason = `Correct the value to convert. ${firstError}`;
  else if (values.normalizeOn && !chosen) reason = "Enter the normalising target to convert.";
  else if (!chosen) {
    reason = "Choose a change to convert: a relative change, MaxGain or a volume, or normalising. " +
      "With every field empty nothing would change.";
  }
  return { settings, key: JSON.stringify(settings), errors, ready: !reason, reason };
}
