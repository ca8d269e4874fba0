// zekalg for JavaScript: the engine, compiled to WebAssembly, behind
// environments and the tools' variant, sample, check and grade.
//
//   import { load, Environment, sample, check } from "zekalg";
//   await load();
//   const env = new Environment("r_a|1|9\nq_sq|a^2|0", { seed: 2026 });
//   env.solve("sq");     // "4"
//   env.solve("-a");     // "\u20132": results write minus as the en dash
//   env.solveAll();      // { a: "2", sq: "4" }
//   env.dispose();
//
// Texts are strings in and out; the engine's Windows-1252 bytes are
// converted (text.mjs). The module is one engine for the whole program:
// there are no threads, and seeds apply to the next creation.

import { AlgorithmError, EncodingError, EngineError, SolveError, ZekalgError } from "./errors.mjs";
import { Algorithm, fromEngine, messageSubject, toEngine } from "./text.mjs";

export { AlgorithmError, EncodingError, EngineError, SolveError, ZekalgError };

const EN_DASH = "\u2013";
const SEED_LOW = -(2 ** 31);
const SEED_HIGH = 2 ** 32 - 1;
// No text the engine builds is longer than 1 MiB: a buffer one byte larger
// never cuts a result, so no solve has to run twice (and draw again).
const RESULT_SIZE = (1 << 20) + 1;
const ENGINE_BYTES = 1;
const ASCII_MINUS = 2;
const NO_SEED = -(2n ** 63n);

let engine = null;
let loading = null;

const isNode =
  typeof process === "object" && typeof process.versions?.node === "string" &&
  typeof window === "undefined";

async function instantiate(options) {
  if (isNode) {
    const { createRequire } = await import("node:module");
    const { readFile } = await import("node:fs/promises");
    const factory = createRequire(import.meta.url)("./zekalg_engine.cjs");
    // Node's fetch cannot read a file path: hand the module its bytes.
    const wasmBinary =
      options.wasmBinary ?? (await readFile(new URL("./zekalg_engine.wasm", import.meta.url)));
    return factory({ ...options, wasmBinary });
  }
  const { default: factory } = await import("./zekalg_engine.web.mjs");
  return factory({ locateFile: (name) => new URL(name, import.meta.url).href, ...options });
}

/**
 * Loads the engine; every other function needs it loaded. Resolves to this
 * module's exports. Calling it again returns the same promise. `options`
 * go to the module's loader (`wasmBinary`: the .wasm bytes; `locateFile`).
 */
export function load(options = {}) {
  if (loading === null) {
    loading = instantiate(options).then(
      (module) => {
        engine = new Engine(module);
        return api;
      },
      (error) => {
        loading = null;
        throw error;
      },
    );
  }
  return loading;
}

/** Whether load() has finished. */
export function loaded() {
  return engine !== null;
}

function theEngine() {
  if (engine === null) throw new ZekalgError("zekalg is not loaded: await load() first");
  return engine;
}

// The module's memory and its six functions (and the tools' when built in).
class Engine {
  constructor(module) {
    this.m = module;
    this.result = module._malloc(RESULT_SIZE);
    this.length = module._malloc(4);
    this.input = 0;
    this.inputSize = 0;
    this.tools = typeof module._zekalg_tools_variant === "function";
  }

  // `bytes` as a NUL-terminated text in the buffer kept for the one text a
  // create or a solve takes.
  request(bytes) {
    if (bytes.length + 1 > this.inputSize) {
      this.m._free(this.input);
      this.inputSize = Math.max(bytes.length + 1, 2 * this.inputSize, 4096);
      this.input = this.m._malloc(this.inputSize);
    }
    this.m.HEAPU8.set(bytes, this.input);
    this.m.HEAPU8[this.input + bytes.length] = 0;
    return this.input;
  }

  // `bytes` as a NUL-terminated text in the module's memory (0 for null);
  // the caller frees it.
  text(bytes) {
    if (bytes === null) return 0;
    const pointer = this.m._malloc(bytes.length + 1);
    this.m.HEAPU8.set(bytes, pointer);
    this.m.HEAPU8[pointer + bytes.length] = 0;
    return pointer;
  }

  // The text delivered into the result buffer.
  delivered() {
    const full = this.m.HEAP32[this.length >> 2];
    const shown = Math.min(Math.max(full, 0), RESULT_SIZE - 1);
    return fromEngine(this.m.HEAPU8.subarray(this.result, this.result + shown));
  }

  seed(value) {
    this.m._zekalg_seed_environment(value | 0);
  }

  // Runs `call` in the module; [-1, "stack overflow"] when it ran out of
  // the JavaScript engine's stack. Where the stack ends is not known inside
  // the module, so nesting that no limit of the engine bounds (a chain of
  // digits fields thousands deep) overflows there, and the overflow unwinds
  // the module's frames without running their code: the module's own stack
  // pointer is put back, and what those frames held stays allocated.
  guarded(call) {
    const top = this.m.stackSave();
    try {
      return call();
    } catch (error) {
      if (!(error instanceof RangeError)) throw error;
      this.m.stackRestore(top);
      return [-1, "stack overflow"];
    }
  }

  // [id, message]: a positive id, or -1 and the engine's message.
  create(baseId, data) {
    const algorithm = this.request(data);
    return this.guarded(() => {
      this.m.HEAP32[this.length >> 2] = RESULT_SIZE;
      const id = this.m._zekalg_create_environment(baseId, algorithm, this.result, this.length);
      return id > 0 ? [id, ""] : [id, this.delivered()];
    });
  }

  // [status, text].
  solve(id, data) {
    const request = this.request(data);
    return this.guarded(() => {
      this.m.HEAP32[this.length >> 2] = RESULT_SIZE;
      const status = this.m._zekalg_solve_var(id, request, this.result, this.length);
      return [status, this.delivered()];
    });
  }

  kill(id) {
    this.m._zekalg_kill_environment(id);
  }

  // A tools function's JSON answer, released; throws AlgorithmError for a
  // call that could not run. `texts` are engine bytes or null; `call`
  // gets their pointers.
  toolsCall(texts, call) {
    if (!this.tools) throw new ZekalgError("this build of zekalg has no tools layer");
    const pointers = texts.map((bytes) => this.text(bytes));
    let answer;
    try {
      const at = this.guarded(() => call(...pointers));
      if (Array.isArray(at)) throw new AlgorithmError(at[1]);
      if (!at) throw new ZekalgError("the zekalg tools ran out of memory");
      try {
        const end = this.m.HEAPU8.indexOf(0, at);
        answer = JSON.parse(new TextDecoder().decode(this.m.HEAPU8.subarray(at, end)));
      } finally {
        this.m._zekalg_tools_free(at);
      }
    } finally {
      for (const pointer of pointers) this.m._free(pointer);
    }
    const keys = Object.keys(answer);
    if (keys.length === 1 && keys[0] === "error") {
      const { message, source = null, line = null } = answer.error;
      throw new AlgorithmError(message, { source, line: line || null });
    }
    return answer;
  }
}

function checkedSeed(value) {
  if (typeof value !== "number" || !Number.isInteger(value)) {
    throw new TypeError(`a seed must be an integer, not ${String(value)}`);
  }
  if (value < SEED_LOW || value > SEED_HIGH) {
    throw new RangeError(`a seed must lie in [${SEED_LOW}, ${SEED_HIGH}], not ${value}`);
  }
  return value;
}

/**
 * Seeds the engine's random generator: its next draw, normally that of the
 * next environment created, starts from it, so the same seed and algorithm
 * bring back the same variant. `value` is a 32-bit seed, from -2**31 to
 * 2**32 - 1 (negative values stand for their unsigned bits), as
 * `zekalg solve --seed` takes it. Nearby seeds (1, 2, 3, ...) draw nearly
 * the same first values: spread them.
 */
export function seed(value) {
  theEngine().seed(checkedSeed(value));
}

function creationError(message, algorithm, bases, seeded) {
  const [variable, line] = messageSubject(message, algorithm, bases);
  return new AlgorithmError(message, { variable, line, seed: seeded });
}

// The algorithms read lately: hosts create many environments from one text,
// and the engine keeps the text's image too.
const recentAlgorithms = new Map();

function algorithmOf(text, what) {
  let found = recentAlgorithms.get(text);
  if (found === undefined) {
    found = new Algorithm(text, what);
    if (recentAlgorithms.size >= 64) recentAlgorithms.clear();
    recentAlgorithms.set(text, found);
  }
  return found;
}

const dispose = Symbol.dispose ?? Symbol.for("nodejs.dispose");
const finalizer = new FinalizationRegistry((id) => engine?.kill(id));

/**
 * One engine environment: an algorithm whose random values are drawn.
 *
 * Creating it draws the random values until every condition holds;
 * `solve` then answers requests with the engine's display text. Call
 * `dispose()` when done (or, where the runtime has `using` declarations,
 * declare it with `using`); one that is garbage collected is killed too.
 *
 * Options: `base`, an environment this one builds on (an Environment, kept
 * alive as long as this one, or an algorithm text, from which a base is
 * created after seeding and disposed with this one); `seed`, seeds the
 * engine first (see seed()), as `zekalg solve FILE --seed SEED` does;
 * `asciiMinus`, results write minus as "-" instead of the en dash.
 *
 * Throws AlgorithmError when the engine cannot create it, EncodingError
 * when a text holds a character the engine cannot take.
 */
export class Environment {
  #id = 0;
  #algorithm;
  #base = null;
  #ownsBase = false;
  #bases = [];
  #seed = null;
  #asciiMinus = false;

  constructor(algorithm, { base = null, seed: seedValue = null, asciiMinus = false } = {}) {
    const eng = theEngine();
    const parsed = algorithmOf(algorithm, "algorithm");
    if (base !== null && !(base instanceof Environment) && typeof base !== "string") {
      throw new TypeError("base must be an Environment or an algorithm text");
    }
    const baseAlgorithm = typeof base === "string" ? algorithmOf(base, "base") : null;
    const seeded = seedValue !== null && seedValue !== undefined ? checkedSeed(seedValue) : null;
    if (seeded !== null) eng.seed(seeded);
    if (baseAlgorithm !== null) {
      // As `zekalg solve --base`: after the seed, the base, then this one.
      base = new Environment(baseAlgorithm.text, { seed: null });
      base.#seed = seeded;
      this.#ownsBase = true;
    }
    try {
      this.#setup(eng, parsed, base, seeded, asciiMinus);
    } catch (error) {
      if (this.#ownsBase) base.dispose();
      throw error;
    }
  }

  #setup(eng, algorithm, base, seeded, asciiMinus) {
    this.#algorithm = algorithm;
    this.#base = base;
    this.#seed = seeded;
    this.#asciiMinus = Boolean(asciiMinus);
    for (let b = base; b !== null; b = b.#base) this.#bases.push(b.#algorithm);
    const [id, message] = eng.create(base !== null ? base.#liveId() : 0, algorithm.data);
    if (id <= 0) throw creationError(message, algorithm, this.#bases, seeded);
    this.#id = id;
    finalizer.register(this, id, this);
  }

  #liveId() {
    if (!this.#id) throw new ZekalgError("the environment is disposed");
    return this.#id;
  }

  /** The engine's id of this environment (0 once disposed). */
  get id() {
    return this.#id;
  }

  /** The algorithm this environment was created from. */
  get algorithm() {
    return this.#algorithm.text;
  }

  /** The environment this one builds on, or null. */
  get base() {
    return this.#base;
  }

  get disposed() {
    return !this.#id;
  }

  /** The names solveAll answers, in definition order. */
  get variables() {
    return [...this.#algorithm.names];
  }

  /** Kills the environment (again is harmless). A base given as a text is
   * disposed with it. */
  dispose() {
    if (this.#id) {
      finalizer.unregister(this);
      engine.kill(this.#id);
      this.#id = 0;
    }
    if (this.#ownsBase) this.#base.dispose();
  }

  [dispose]() {
    this.dispose();
  }

  /**
   * The display text of `request` (a variable name or a formula). Numbers
   * come with the decimals, exponent form and grouping their definitions
   * ask for; negative ones start with the en dash (or "-" with
   * asciiMinus). Throws SolveError when the engine cannot solve it,
   * EncodingError, or ZekalgError once disposed.
   */
  solve(request) {
    return this.#solve(toEngine(request, "request"), request);
  }

  /**
   * Every variable of the algorithm, name to display text, in definition
   * order (the names as their first definition writes them), as
   * `zekalg solve FILE` prints them. Throws SolveError on the first
   * variable that fails.
   */
  solveAll() {
    const values = {};
    const { names, nameData } = this.#algorithm;
    for (let i = 0; i < names.length; ++i) {
      const value = this.#solve(nameData[i], names[i]);
      if (names[i] === "__proto__") {
        Object.defineProperty(values, names[i], { value, enumerable: true, writable: true,
          configurable: true });
      } else {
        values[names[i]] = value;
      }
    }
    return values;
  }

  #solve(data, request) {
    const [status, text] = theEngine().solve(this.#liveId(), data);
    if (status !== 0) {
      const [variable, line] = messageSubject(text, this.#algorithm, this.#bases);
      throw new SolveError(text, { request, status, variable, line, seed: this.#seed });
    }
    return this.#asciiMinus ? text.replaceAll(EN_DASH, "-") : text;
  }
}

// ---- the tools: whole variants, samples and checks as documents ----

function baseText(base) {
  if (base === null || base === undefined) return null;
  if (base instanceof Environment) return toEngine(base.algorithm, "base");
  if (typeof base === "string") return toEngine(base, "base");
  throw new TypeError("base must be an Environment or an algorithm text");
}

function lines(list, what) {
  if (list === null || list === undefined) return null;
  if (!Array.isArray(list)) throw new TypeError(`${what} must be an array of strings`);
  for (const item of list) {
    if (typeof item !== "string" || item.includes("\n") || item === "") {
      throw new TypeError(`${what} must be non-empty strings without a line feed`);
    }
  }
  return list.length ? toEngine(list.join("\n"), what) : null;
}

function toolsSeed(value) {
  return value === null || value === undefined ? NO_SEED : BigInt(checkedSeed(value));
}

// A sample starts from any 64-bit seed (a negative one is taken as its
// bits), as `zekalg sample --seed` takes it: a safe integer or a bigint.
function sampleSeed(value) {
  if (value === null || value === undefined) return NO_SEED;
  if (typeof value === "number" && Number.isSafeInteger(value)) value = BigInt(value);
  if (typeof value !== "bigint" || value < -(2n ** 63n) || value >= 2n ** 64n) {
    throw new RangeError(`a sample's seed must be a 64-bit integer, not ${String(value)}`);
  }
  const bits = BigInt.asIntN(64, value);
  if (bits === NO_SEED) throw new RangeError("a sample's seed cannot be -2**63");
  return bits;
}

function flags(asciiMinus) {
  return ENGINE_BYTES | (asciiMinus ? ASCII_MINUS : 0);
}

/**
 * One variant as `zekalg solve` makes it: each of `requests` (default:
 * every variable) with its own text or error, and for every variable the
 * failures. Without `seed`, one is picked and the answer says which.
 * Returns the document {seed, created, results, failures | error}.
 */
export function variant(algorithm, { base = null, seed: seedValue = null, requests = null,
  asciiMinus = false, path = null, basePath = null } = {}) {
  const eng = theEngine();
  const texts = [toEngine(algorithm, "algorithm"), optionalText(path, "path"), baseText(base),
    optionalText(basePath, "basePath"), lines(requests, "requests")];
  const s = toolsSeed(seedValue);
  return eng.toolsCall(texts, (a, p, b, bp, r) =>
    eng.m._zekalg_tools_variant(a, p, b, bp, r, s, flags(asciiMinus)));
}

/**
 * `n` variants (1 to 10^7) as `zekalg sample` makes them, from `seed`:
 * their rows with seeds and values, the failures, the distinct count and a
 * histogram per variable. `variables` picks the names shown (default:
 * all); `seed` is any 64-bit integer (a number or a bigint). The module
 * runs on one thread: `threads` is accepted for the native API's sake,
 * and the rows do not depend on it.
 */
export function sample(algorithm, n, { seed: seedValue = null, base = null, variables = null,
  threads = 1, asciiMinus = false, path = null, basePath = null } = {}) {
  const eng = theEngine();
  if (!Number.isInteger(n)) throw new TypeError(`n must be an integer, not ${String(n)}`);
  void threads;
  const texts = [toEngine(algorithm, "algorithm"), optionalText(path, "path"), baseText(base),
    optionalText(basePath, "basePath"), lines(variables, "variables")];
  const s = sampleSeed(seedValue);
  return eng.toolsCall(texts, (a, p, b, bp, names) =>
    eng.m._zekalg_tools_sample(a, p, b, bp, names, BigInt(n), s, 1, flags(asciiMinus)));
}

/**
 * The diagnostics of `zekalg check`: what an author should fix before
 * publishing, with `creations` trial creations (0: the command's default).
 * `path` and `basePath` name the texts in messages.
 * Returns {diagnostics: [{source, line, column, severity, message}],
 * errors, warnings}.
 */
export function check(algorithm, { base = null, creations = 0, path = null,
  basePath = null } = {}) {
  const eng = theEngine();
  if (!Number.isInteger(creations) || creations < 0) {
    throw new RangeError(`creations must be an integer of at least 0, not ${String(creations)}`);
  }
  const texts = [toEngine(algorithm, "algorithm"), optionalText(path, "path"), baseText(base),
    optionalText(basePath, "basePath")];
  return eng.toolsCall(texts, (a, p, b, bp) =>
    eng.m._zekalg_tools_check(a, p, b, bp, Math.min(creations, 2 ** 30), ENGINE_BYTES));
}

const utf8 = new TextEncoder();

/**
 * The variant of the question `algorithm` declares (its `?` lines) for
 * `seed`, as a student sees it, and with `responses` (one per part, as the
 * student typed them) the verdict on each part: the document of
 * `zekalg grade` and POST /v1/grade. The variant is the one
 * `zekalg solve FILE --base BASE --seed SEED` makes; a choice part's
 * options come in the variant's own order.
 * Returns {seed, prompt, parts: [{part, kind, variable, answer, ...}],
 * solution, feedback} and with responses {verdicts: [{part, result, reason}],
 * right}. Throws AlgorithmError when the question cannot be graded (none is
 * declared, the responses are not one per part, the variant cannot be
 * made), TypeError for a response that is not a one-line string.
 */
export function grade(algorithm, { seed: seedValue, responses = null, base = null,
  asciiMinus = false, path = null, basePath = null } = {}) {
  const eng = theEngine();
  if (eng.tools && typeof eng.m._zekalg_tools_grade !== "function") {
    throw new ZekalgError("this build of zekalg cannot grade");
  }
  if (seedValue === null || seedValue === undefined) {
    throw new TypeError("grade needs the variant's seed");
  }
  const s = BigInt(checkedSeed(seedValue));
  // Named characters the engine cannot take, as everywhere; the texts then
  // go in as UTF-8, since a student's response may hold any character.
  toEngine(algorithm, "algorithm");
  const baseAlgorithm = base instanceof Environment ? base.algorithm : base;
  if (baseAlgorithm !== null && baseAlgorithm !== undefined) baseText(baseAlgorithm);
  let answers = null;
  if (responses !== null && responses !== undefined) {
    if (!Array.isArray(responses)) throw new TypeError("responses must be an array of strings");
    responses.forEach((response, i) => {
      if (typeof response !== "string" || /[\r\n]/.test(response)) {
        throw new TypeError(`responses[${i}] must be a string without a line break`);
      }
    });
    // One line each, its line feed included, so that empty ones count.
    answers = utf8.encode(responses.map((r) => r + "\n").join(""));
  }
  const text = (value) => (value === null || value === undefined ? null : utf8.encode(value));
  const texts = [utf8.encode(algorithm), text(path), text(baseAlgorithm), text(basePath), answers];
  const answer = eng.toolsCall(texts, (a, p, b, bp, r) =>
    eng.m._zekalg_tools_grade(a, p, b, bp, s, r, asciiMinus ? ASCII_MINUS : 0));
  return answer;
}

function optionalText(text, what) {
  return text === null || text === undefined ? null : toEngine(text, what);
}

const api = {
  load, loaded, seed, Environment, variant, sample, check, grade,
  ZekalgError, EngineError, AlgorithmError, SolveError, EncodingError,
};
