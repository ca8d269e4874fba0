// Texts between JavaScript and the engine, and what the package reads in an
// algorithm.
//
// The engine speaks Windows-1252 bytes: byte 150 is the en dash ("\u2013")
// that results write as minus. The five bytes the code page leaves
// undefined (129, 141, 143, 144, 157) read as the C1 control characters of
// the same number, as the zekalg command reads them, so every byte has a
// character and every result converts.

import { EncodingError } from "./errors.mjs";

// Bytes 128 to 159; the others are the code point of the same number.
const HIGH = [
  0x20ac, 0x81, 0x201a, 0x192, 0x201e, 0x2026, 0x2020, 0x2021, 0x2c6, 0x2030, 0x160, 0x2039,
  0x152, 0x8d, 0x17d, 0x8f, 0x90, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
  0x2dc, 0x2122, 0x161, 0x203a, 0x153, 0x9d, 0x17e, 0x178,
];

const DECODING = Array.from({ length: 256 }, (_, b) =>
  String.fromCharCode(b >= 0x80 && b < 0xa0 ? HIGH[b - 0x80] : b),
);
const ENCODING = new Map(HIGH.map((code, i) => [code, 0x80 + i]));

const ASCII = /^[\x01-\x7f]*$/;
const encoder = new TextEncoder();

/** The engine bytes of `text`; throws EncodingError naming `what`. */
export function toEngine(text, what) {
  if (typeof text !== "string") {
    throw new TypeError(`${what} must be a string, not ${describe(text)}`);
  }
  if (ASCII.test(text)) return encoder.encode(text);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) {
    const code = text.charCodeAt(i);
    let byte;
    if (code < 0x80 || (code >= 0xa0 && code < 0x100)) {
      byte = code;
    } else {
      byte = ENCODING.get(code);
      if (byte === undefined) {
        throw new EncodingError(what, text, i, "has no Windows-1252 byte");
      }
    }
    if (byte === 0) {
      throw new EncodingError(what, text, i, "cannot be passed: the engine's texts end at NUL");
    }
    bytes[i] = byte;
  }
  return bytes;
}

const C1 = /[\x80-\x9f]/;
const C1_ALL = /[\x80-\x9f]/g;

/** The text of engine bytes (any bytes convert). */
export function fromEngine(bytes) {
  if (bytes.length <= 64) {
    let text = "";
    for (let i = 0; i < bytes.length; ++i) text += DECODING[bytes[i]];
    return text;
  }
  // Bytes read as the code points of their numbers, and then the few in
  // 128 to 159 as Windows-1252's characters.
  let text = "";
  for (let at = 0; at < bytes.length; at += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(at, at + 8192));
  }
  return C1.test(text) ? text.replace(C1_ALL, (c) => DECODING[c.charCodeAt(0)]) : text;
}

function describe(value) {
  if (value === null) return "null";
  return typeof value === "object" ? value.constructor?.name ?? "object" : typeof value;
}

// Names compare case-blind in ASCII only, as the engine compares them.
function asciiLower(text) {
  return text.replace(/[A-Z]+/g, (s) => s.toLowerCase());
}

function stripReturns(line) {
  let start = 0;
  let end = line.length;
  while (start < end && line[start] === "\r") ++start;
  while (end > start && line[end - 1] === "\r") --end;
  return line.slice(start, end);
}

const VARIABLE_KINDS = "kqrl";

function definesVariable(line) {
  return line[1] === "_" && VARIABLE_KINDS.includes(line[0]);
}

/**
 * An algorithm's text, its engine bytes and its definition lines, split the
 * way the engine splits them (and the zekalg command lists them).
 */
export class Algorithm {
  constructor(text, what = "algorithm") {
    this.text = text;
    this.data = toEngine(text, what);
  }

  /** [1-based line number, line] for every line that is not empty once the
   * carriage returns at both ends are gone. */
  get lines() {
    if (this._lines === undefined) {
      this._lines = [];
      this.text.split("\n").forEach((raw, i) => {
        const line = stripReturns(raw);
        if (line) this._lines.push([i + 1, line]);
      });
    }
    return this._lines;
  }

  /** The engine bytes of each of `names`. */
  get nameData() {
    if (this._nameData === undefined) this._nameData = this.names.map((n) => toEngine(n, "name"));
    return this._nameData;
  }

  /** The variables in definition order: lines k_, q_, r_, l_ with a "|";
   * the first definition of a name counts, names compared case-blind. */
  get names() {
    if (this._names === undefined) {
      this._names = [];
      const seen = new Set();
      for (const [, line] of this.lines) {
        if (!definesVariable(line)) continue;
        const bar = line.indexOf("|");
        if (bar < 0) continue;
        const name = line.slice(2, bar);
        const key = asciiLower(name);
        if (!seen.has(key)) {
          seen.add(key);
          this._names.push(name);
        }
      }
    }
    return this._names;
  }

  /** The line defining variable (or function) `name`, or 0. */
  lineOfName(name, isFunction = false) {
    const wanted = asciiLower(name);
    for (const [number, line] of this.lines) {
      if (isFunction ? !line.startsWith("f_") : !definesVariable(line)) continue;
      const bar = line.indexOf("|");
      if (bar >= 0 && asciiLower(line.slice(2, bar)) === wanted) return number;
    }
    return 0;
  }

  /** The line of the condition a "condition X could not be satisfied"
   * message is about, or 0. */
  lineOfCondition(message) {
    const before = "condition ";
    const after = " could not be satisfied";
    if (
      !message.startsWith(before) ||
      !message.endsWith(after) ||
      message.length <= before.length + after.length
    ) {
      return 0;
    }
    const body = message.slice(before.length, message.length - after.length);
    for (const [number, line] of this.lines) {
      const bar = line.indexOf("|");
      if (line.startsWith("c_") && bar >= 0 && line.slice(bar + 1) === body) return number;
    }
    return 0;
  }
}

/**
 * [variable, line] of an engine message about `algorithm` (built on
 * `bases`): the name in front when one of them defines it, and the line in
 * `algorithm` the message is about; null where it does not tell.
 */
export function messageSubject(message, algorithm, bases = []) {
  const line = algorithm.lineOfCondition(message);
  if (line) return [null, line];
  const colon = message.indexOf(": ");
  if (colon <= 0) return [null, null];
  const name = message.slice(0, colon);
  for (const source of [algorithm, ...bases]) {
    const found = source.lineOfName(name) || source.lineOfName(name, true);
    if (found) return [name, source === algorithm ? found : null];
  }
  return [null, null];
}
