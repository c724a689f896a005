// Builds KELDRO_Output.zip away from the page (zip.js), so that neither the
// page nor its list waits for it.
import { zipOf } from "./zip.js";

onmessage = ({ data }) => {
  try {
    postMessage({ id: data.id, blob: zipOf(data.entries, data.resultText, data.resultPath) });
  } catch (e) {
    postMessage({ id: data.id, error: String((e && e.message) || e) });
  }
};
