// The shapes of the WebAssembly module keldro.mjs (+ keldro.wasm): the
// conversion core of keldro and keldro-batch for JavaScript and TypeScript.
//
//   import createKeldro from "./keldro.mjs";
//   const keldro = await createKeldro();
//   const out = keldro.convert("mfi", bytes, { db: -3 });

/** The file format: TAVI (".mmf") or MFi (".mld"); 0 and 1 as the C interface numbers them. */
export type KeldroFormat = "tavi" | "mfi" | 0 | 1;

/**
 * A setting's value as keldro-batch's command line takes it: a number, or a
 * text of one ("-3", "4.5"). Anything else, and any text keldro-batch refuses
 * ("abc", "nan", "1e400", a fraction for a whole-number setting), throws a
 * TypeError or RangeError naming the setting.
 */
export type KeldroNumber = number | string | bigint;

/**
 * keldro-batch's options by name. Left out, null, undefined or "" (a volume
 * setting only) means not given. "db" (a relative change in dB) wins over the
 * absolute settings, as on the command line. A name not listed here ("dB",
 * "gain") throws a TypeError naming it, as keldro-batch refuses an unknown
 * option; so do settings that are not an object.
 */
export interface KeldroSettings {
  /** Relative change in dB (-60 ... 60). */
  db?: KeldroNumber | null;
  /** MaxGain in dB. */
  mg?: KeldroNumber | null;
  /** Master volume, 0 ... 127 (TAVI only); a whole number, above 127 gives 127. */
  mv?: KeldroNumber | null;
  /** Channel volumes 1 ... 16, whole numbers. */
  c1?: KeldroNumber | null;
  c2?: KeldroNumber | null;
  c3?: KeldroNumber | null;
  c4?: KeldroNumber | null;
  c5?: KeldroNumber | null;
  c6?: KeldroNumber | null;
  c7?: KeldroNumber | null;
  c8?: KeldroNumber | null;
  c9?: KeldroNumber | null;
  c10?: KeldroNumber | null;
  c11?: KeldroNumber | null;
  c12?: KeldroNumber | null;
  c13?: KeldroNumber | null;
  c14?: KeldroNumber | null;
  c15?: KeldroNumber | null;
  c16?: KeldroNumber | null;
  /** The ADPCM volume, a whole number. */
  ca?: KeldroNumber | null;
  /** Also regulate the chorus (distortion/compressor) levels (taken as true or false). */
  regulate?: unknown;
  /**
   * Normalise: the relative change that brings the file's peak level to this
   * target (-60 ... 60 dB). Goes with no volume setting above (a TypeError).
   */
  normalize?: KeldroNumber | null;
}

export interface KeldroContext {
  /**
   * Today's date for MFi files that carry one, and the log entry's time stamp
   * (default: now). Anything but a valid Date throws a TypeError.
   */
  now?: Date | null;
  /**
   * The names the log entry gives the input and the output (default ""), as
   * texts; a lone surrogate in one is written as U+FFFD.
   */
  input?: unknown;
  output?: unknown;
}

/**
 * The change records as columns: entry i of every array is record i, in the
 * order the engine made them. Copies, valid after later calls.
 */
export interface KeldroChanges {
  length: number;
  /** TAVI: 1 ... 7 score track, 255 audio; MFi: 0 ... 3, 255 ADPCM. */
  track: Uint8Array;
  /** Channel within the track, from 0. */
  channel: Uint8Array;
  beforeVolume: Uint8Array;
  afterVolume: Uint8Array;
  beforeGain: Uint8Array;
  afterGain: Uint8Array;
  beforeLevel: Uint8Array;
  afterLevel: Uint8Array;
  /**
   * 1 ... 4 change a volume (odd: relative, even: absolute; 3 and 4 inserted),
   * 5/6 MaxGain, 7/8 effect depth, 9 ... 12 chorus sends; other values are no change.
   */
  action: Int32Array;
  /** TAVI: ticks from the sequence start; MFi: milliseconds. */
  position: Float64Array;
  /** The time of the change in seconds, as the log's "Point[sec]" column. */
  seconds: Float64Array;
}

export interface KeldroConversion {
  /** 0 converted, 1 not converted (nothing to change), larger: the error. */
  result: number;
  /** keldro's message, e.g. "Converted.". */
  message: string;
  /** keldro's exit status for the result. */
  exitStatus: number;
  /** The converted file, or the input when nothing needed changing; empty after an error. */
  bytes: Uint8Array;
  /** TAVI generation 2/3/5/7 (-1 unknown); MFi version 20/30/31/40; 0 unknown. */
  kind: number;
  /** The entry keldro-batch writes into its result file for this file. */
  logEntry: string;
  changes: KeldroChanges;
  /** Normalising only: the change applied in tenths of a dB, null when the file was left unchanged. */
  changeTenths?: number | null;
}

export interface KeldroInspection {
  /** 0 when the file could be inspected, else the error. */
  result: number;
  message: string;
  kind: number;
  /** "TAVI/VQ-7", "MFi/3.1", or "---". */
  kindText: string;
  maxGainDb: number | null;
  masterVolume: number | null;
  channelVolume: number | null;
  /** The peak level in dB, 0 at the loudest. */
  peakDb: number | null;
}

export interface Keldro {
  /**
   * Converts one file as keldro does. Throws a TypeError or RangeError for a
   * bad argument, before any work: a RangeError for an input longer than
   * maxInputBytes. Memory running out midway ends as it ends in keldro,
   * with its result for a file that could not be read ("File read error.").
   */
  convert(format: KeldroFormat, bytes: Uint8Array, settings?: KeldroSettings | null, context?: KeldroContext | null): KeldroConversion;
  /**
   * The levels of one file, as keldro-batch --inspect reads them. Throws as
   * convert() does for a bad format or input (RangeError: longer than maxInputBytes).
   */
  inspect(format: KeldroFormat, bytes: Uint8Array): KeldroInspection;
  /** "tavi" for ".mmf", "mfi" for ".mld" (letter case ignored), else null. */
  modeOfName(name: string): "tavi" | "mfi" | null;
  /** Why keldro-batch skips a file of any other name. */
  readonly notConvertibleReason: string;
  /** The longest input convert() and inspect() take, in bytes (the module's memory is bounded). */
  readonly maxInputBytes: number;
}

/** Loads the module (keldro.wasm beside keldro.mjs). */
export default function createKeldro(moduleArg?: object): Promise<Keldro>;
