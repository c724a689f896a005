// The settings form: the channel fields, remembering the values in this
// browser, and showing beside each field why a value is refused.
import { FIELDS, readSettings } from "./settings.js";

const STORAGE_KEY = "keldro.settings";

export class SettingsForm {
  constructor(form, onChange) {
    this.form = form;
    this.buildChannelInputs();
    for (const field of FIELDS) this.describe(field);
    this.restore();
    const changed = () => {
      this.update();
      onChange(this.read());
    };
    form.addEventListener("input", changed);
    form.addEventListener("change", changed);
    form.addEventListener("submit", (e) => e.preventDefault());
    this.update();
  }

  buildChannelInputs() {
    const box = this.form.querySelector("#channels");
    for (const field of FIELDS.filter((f) => /^c(\d+|a)$/.test(f.name))) {
      const label = document.createElement("label");
      label.append(`${field.label} `);
      const input = document.createElement("input");
      Object.assign(input, { name: field.name, type: "text", inputMode: "numeric", autocomplete: "off" });
      label.append(input);
      box.append(label);
    }
  }

  // A line under each field for its error, tied to it for screen readers.
  describe(field) {
    const input = this.form.elements[field.name];
    const error = document.createElement("span");
    error.className = "field-error";
    error.id = `error-${field.name}`;
    input.after(error);
    input.setAttribute("aria-describedby", error.id);
  }

  values() {
    const values = {};
    for (const e of this.form.elements) if (e.name) values[e.name] = e.type === "checkbox" ? e.checked : e.value;
    return values;
  }

  read() {
    return readSettings(this.values());
  }

  restore() {
    let saved = {};
    try {
      saved = JSON.parse(localStorage.getItem(STORAGE_KEY) || "{}");
    } catch {
      saved = {};
    }
    for (const e of this.form.elements) {
      if (!e.name || !(e.name in saved)) continue;
      if (e.type === "checkbox") e.checked = Boolean(saved[e.name]);
      else e.value = String(saved[e.name]);
    }
  }

  update() {
    const values = this.values();
    const normalizing = Boolean(values.normalizeOn);
    for (const field of FIELDS) this.form.elements[field.name].disabled = (field.name === "normalize") !== normalizing;
    const { errors } = readSettings(values);
    for (const field of FIELDS) {
      const input = this.form.elements[field.name];
      const message = errors[field.name] || "";
      if (message) input.setAttribute("aria-invalid", "true");
      else input.removeAttribute("aria-invalid");
      document.getElementById(`error-${field.name}`).textContent = message;
    }
    try {
      localStorage.setItem(STORAGE_KEY, JSON.stringify(values));
    } catch {
      // Storage may be full or off: the settings are then simply not remembered.
    }
  }
}
