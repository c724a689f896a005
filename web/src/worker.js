// Converts in the background, so the page never freezes: one file per message.
// The core is the WebAssembly module; every rule (conversion, levels, the
// result-log entry, which names are convertible) is its own.
import createKeldro from "./keldro.mjs";

let keldro = createKeldro();
keldro.then(
  () => postMessage({ type: "ready" }),
  (e) => postMessage({ type: "broken", message: String(e) }),
);

function convertOne({ path, mode, bytes, settings, output }) {
  return keldro.then((k) => {
    const input = new Uint8Array(bytes);
    const before = k.inspect(mode, input);
    const r = k.convert(mode, input, settings, { input: path, output });
    const after = r.bytes.length ? k.inspect(mode, r.bytes) : null;
    return { ...r, before, after };
  });
}

onmessage = async ({ data }) => {
  const { id } = data;
  try {
    if (data.type === "modes") {
      const k = await keldro;
      postMessage({ id, modes: data.names.map((n) => k.modeOfName(n)), reason: k.notConvertibleReason });
    } else if (data.type === "convert") {
      const r = await convertOne(data);
      postMessage({ id, outcome: r }, [r.bytes.buffer]);
    }
  } catch (e) {
    // An abort (out of memory) leaves the module unusable: start a fresh one.
    if (e instanceof WebAssembly.RuntimeError) keldro = createKeldro();
    postMessage({ id, error: String((e && e.message) || e) });
  }
};
