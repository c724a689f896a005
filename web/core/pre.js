// Under Node the .wasm beside the module is read from disk, not fetched: the
// loader would otherwise try fetch() on a file: address, which Node refuses.
if (keldroOnNode && !Module["wasmBinary"]) {
  Module["wasmBinary"] = require("fs").readFileSync(require("path").join(__dirname, "keldro.wasm"));
}

// ---- The module's functions as programs call them (shapes in keldro.d.ts). ----
// Every argument is read once and checked here, before any memory of the
// module is taken; only then is the input copied in and the C++ side called
// with plain, checked values (KeldroWasm.cpp), and the copy freed whatever
// happens. An error is thrown only from here, where nothing is left to free.
Module["onRuntimeInitialized"] = ((callersOwn) => () => {
  keldroInstallApi();
  if (callersOwn) callersOwn();
})(Module["onRuntimeInitialized"]);

function keldroInstallApi() {
  const core = {
    settingError: Module["settingError"],
    convert: Module["convertChecked"],
    inspect: Module["inspectChecked"],
  };
  // The largest input taken (KeldroWasm.cpp): a larger one is refused before
  // any memory is taken for it, so the module never runs out of it midway.
  const maxInputBytes = Module["maxInputBytes"];
  delete Module["settingError"];
  delete Module["convertChecked"];
  delete Module["inspectChecked"];

  // The volume settings in the order of keldro-batch's usage text; the
  // conversion settles which wins, as on the command line.
  const volumeSettings = ["db", "mv", "mg"];
  for (let ch = 1; ch <= 16; ch++) volumeSettings.push("c" + ch);
  volumeSettings.push("ca");
  const knownSettings = new Set([...volumeSettings, "regulate", "normalize"]);

  const utf8 = new TextDecoder();
  const given = (v) => v !== undefined && v !== null;
  const typeName = (v) => (v === null ? "null" : Array.isArray(v) ? "an array" : typeof v);

  function modeNumber(format) {
    if (format === "tavi" || format === 0) return 0;
    if (format === "mfi" || format === 1) return 1;
    throw new TypeError('format must be "tavi" or "mfi"');
  }

  // The input's length, read once from the typed array itself: its own
  // `length` or a subclass's getter may claim anything, while the copy
  // (HEAPU8.set) takes every byte the array really has.
  const byteLengthOf = Object.getOwnPropertyDescriptor(Object.getPrototypeOf(Uint8Array.prototype), "byteLength").get;
  function inputLength(bytes) {
    let length = -1;
    try {
      if (bytes instanceof Uint8Array) length = byteLengthOf.call(bytes);
    } catch {
      // Uint8Array.prototype's heir that is no typed array
    }
    if (length < 0) throw new TypeError("bytes must be a Uint8Array");
    if (length > maxInputBytes)
      throw new RangeError(`bytes: a file of ${length} bytes is too large for the module, which takes at most ${maxInputBytes}`);
    return length;
  }

  // A setting as keldro-batch's command line would carry it: a number as
  // JavaScript writes it, or a text; refused as keldro-batch refuses it.
  function settingText(name, value) {
    const type = typeof value;
    if (type !== "number" && type !== "string" && type !== "bigint")
      throw new TypeError(`${name} must be a number or a text of one, not ${typeName(value)}`);
    const text = String(value);
    const error = core.settingError(name, text);
    if (error) throw new RangeError(error);
    return text;
  }

  function settingsOf(settings) {
    if (!given(settings)) settings = {};
    if (typeof settings !== "object" || Array.isArray(settings))
      throw new TypeError(`settings must be an object of keldro-batch's options, not ${typeName(settings)}`);
    // A misspelt option would otherwise convert as if left out.
    for (const name of Object.keys(settings))
      if (!knownSettings.has(name)) throw new TypeError(`${name} is no setting: ${[...knownSettings].join(", ")}`);
    const options = [];
    for (const name of volumeSettings) {
      const value = settings[name];
      // An empty text is a setting left out, as an empty field of the page.
      if (given(value) && value !== "") options.push(name, settingText(name, value));
    }
    const regulate = settings["regulate"];
    const normalize = settings["normalize"];
    const target = given(normalize) ? settingText("normalize", normalize) : null;
    if (target !== null && options.length > 0)
      throw new TypeError("normalize chooses the change itself: leave out db, mv, mg and the channel options");
    return { options, regulate: given(regulate) && !!regulate, normalize: target };
  }

  // A name as UTF-8 takes it: a lone surrogate (half of a pair) becomes
  // U+FFFD, where the conversion to UTF-8 would take the next character
  // for its other half.
  const wellFormed = (text) => text.replace(/[\uD800-\uDBFF][\uDC00-\uDFFF]|[\uD800-\uDFFF]/g, (c) => (c.length === 2 ? c : "\uFFFD"));

  // Today's date (stamped into MFi files that carry one) and the time of the
  // log entry: the context's "now", else the clock. A Date's own time is
  // read (getTime of Date.prototype refuses anything else), so neither an
  // invalid date nor an object posing as one is written as a date.
  function contextOf(context) {
    const has = given(context);
    let now = has ? context["now"] : undefined;
    if (!given(now)) now = new Date();
    let time = NaN;
    try {
      time = Date.prototype.getTime.call(now);
    } catch {
      throw new TypeError(`now must be a Date, not ${typeName(now)}`);
    }
    if (Number.isNaN(time)) throw new TypeError("now must be a valid Date, not an Invalid Date");
    now = new Date(time);
    const date = [
      now.getFullYear() | 0,
      (now.getMonth() + 1) | 0,
      now.getDate() | 0,
      now.getHours() | 0,
      now.getMinutes() | 0,
      now.getSeconds() | 0,
    ];
    const nameOf = (key) => (has && given(context[key]) ? wellFormed(String(context[key])) : "");
    return { date, input: nameOf("input"), output: nameOf("output") };
  }

  // Runs `use` on a copy of `bytes` (`length` bytes, from inputLength) in
  // the module's memory, freed afterwards.
  function withInput(bytes, length, use) {
    const data = _malloc(Math.max(length, 1));
    if (!data) throw new RangeError(`an input of ${length} bytes does not fit in the module's memory`);
    try {
      HEAPU8.set(bytes, data);
      return use(data);
    } finally {
      _free(data);
    }
  }

  Module["convert"] = function convert(format, bytes, settings = {}, context = {}) {
    const mode = modeNumber(format);
    const length = inputLength(bytes);
    const request = Object.assign({ mode, length }, settingsOf(settings), contextOf(context));
    const out = withInput(bytes, length, (data) => core.convert(Object.assign(request, { data })));
    out["logEntry"] = utf8.decode(out["logEntry"]);
    return out;
  };

  Module["inspect"] = function inspect(format, bytes) {
    const mode = modeNumber(format);
    const length = inputLength(bytes);
    return withInput(bytes, length, (data) => core.inspect({ mode, data, length }));
  };
}
