// A program that uses the module, checked against keldro.d.ts by
// `tsc -p web/core` (tools/web_test.sh): converts files by -3 dB and
// lists their volume changes, as a page or a script would.
import createKeldro, { type KeldroChanges, type KeldroConversion } from "./keldro.mjs";

const keldro = await createKeldro();

function volumeChanges(changes: KeldroChanges): string[] {
  const rows: string[] = [];
  for (let i = 0; i < changes.length; i++) {
    if (changes.action[i] < 1 || changes.action[i] > 4) continue;
    rows.push(`${changes.seconds[i].toFixed(3)} s: ${changes.beforeVolume[i]} -> ${changes.afterVolume[i]}`);
  }
  return rows;
}

export function convertAll(files: { name: string; bytes: Uint8Array }[]): Map<string, Uint8Array> {
  const converted = new Map<string, Uint8Array>();
  for (const { name, bytes } of files) {
    const format = keldro.modeOfName(name);
    if (format === null) {
      console.log(`${name}: ${keldro.notConvertibleReason}`);
      continue;
    }
    if (bytes.length > keldro.maxInputBytes) {
      console.log(`${name}: larger than the ${keldro.maxInputBytes} bytes the module takes`);
      continue;
    }
    const before = keldro.inspect(format, bytes);
    const out: KeldroConversion = keldro.convert(format, bytes, { db: -3, regulate: true }, { now: new Date(), input: name });
    console.log(`${name} (${before.kindText}, peak ${before.peakDb ?? "-"} dB): ${out.message}`);
    for (const row of volumeChanges(out.changes)) console.log(`  ${row}`);
    if (out.result === 0) converted.set(name, out.bytes);
    try {
      keldro.convert(format, bytes, { normalize: "-6", db: 1 });
    } catch (e) {
      if (e instanceof TypeError || e instanceof RangeError) console.log(`  refused: ${e.message}`);
    }
  }
  return converted;
}
