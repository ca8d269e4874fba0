// The service's POST /v1/solve, /v1/sample, /v1/check and /v1/grade,
// answered in the browser by the zekalg module: a module worker, so that
// the page stays responsive while a sample is made. wasm_adapter.js (the workbench's)
// posts {id, path, body} with the request's JSON text and gets back {id,
// status, body}: the service's status and document, errors as its problem
// documents. The fields, defaults and limits are the service's. A worker
// has less stack than a page (in Chromium): nesting deep enough to need
// more fails here with "stack overflow", as on a native thread with a
// small stack, where the service would still answer.
import * as zekalg from "./zekalg/index.mjs";
import { toEngine } from "./zekalg/text.mjs";

const MAX_COUNT = 10000;
const MAX_REQUESTS = 1000;
const MAX_VARIABLES = 10000;
const CHECK_CREATIONS = 300;
const DEFAULT_COUNT = 20;

const INVALID = "urn:zekalg:problem:invalid-request";
const TEXT = "urn:zekalg:problem:unusable-text";
const GRADE = "urn:zekalg:problem:cannot-grade";
const TITLES = {
  [INVALID]: "The request is not valid",
  [TEXT]: "A text the engine cannot take",
  [GRADE]: "The question cannot be graded",
};

class RequestError extends Error {
  constructor(status, body) {
    super(body.detail);
    this.status = status;
    this.body = body;
  }
}

function problem(status, type, detail, extra = {}) {
  const title = TITLES[type] || { 404: "Not Found", 500: "Internal Server Error",
    503: "Service Unavailable" }[status] || "Error";
  return { type, title, status, detail, ...extra };
}

function reject(detail) {
  throw new RequestError(400, problem(400, INVALID, detail));
}

function allowFields(doc, allowed) {
  for (const key of Object.keys(doc)) {
    if (!allowed.includes(key)) {
      reject(`unknown field '${key}' (the fields are ${allowed.join(", ")})`);
    }
  }
}

const given = (doc, name) => Object.hasOwn(doc, name) && doc[name] !== null;

// An algorithm text: one the engine cannot take is refused with its line.
function algorithmField(doc, name, required) {
  if (!Object.hasOwn(doc, name) || (!required && doc[name] === null)) {
    if (required) reject(`'${name}' is missing`);
    return null;
  }
  const text = doc[name];
  if (typeof text !== "string") reject(`'${name}' must be a string`);
  try {
    toEngine(text, name);
  } catch (error) {
    if (!(error instanceof zekalg.EncodingError)) throw error;
    const code = error.character.codePointAt(0);
    const reason = code === 0 ? "a NUL byte"
      : `character U+${code.toString(16).toUpperCase().padStart(4, "0")} has no Windows-1252 byte`;
    throw new RequestError(400, problem(400, TEXT, `${name} line ${error.line}: ${reason}`,
      { field: name, line: error.line }));
  }
  return text;
}

function integerField(doc, name, least, most) {
  if (!given(doc, name)) return null;
  const value = doc[name];
  const range = ` from ${least} to ${most}`;
  if (!Number.isInteger(value)) reject(`'${name}' must be an integer${range}`);
  if (value < least || value > most) reject(`'${name}' must be${range}`);
  return value;
}

function textList(doc, name, most) {
  if (!given(doc, name)) return [];
  const list = doc[name];
  if (!Array.isArray(list)) reject(`'${name}' must be a list of strings`);
  if (list.length > most) reject(`'${name}' may hold at most ${most} entries`);
  list.forEach((entry, i) => {
    const where = `${name}[${i}]`;
    if (typeof entry !== "string") reject(`'${where}' must be a string`);
    if (entry.includes("\0")) reject(`'${where}' holds a NUL character`);
    try {
      toEngine(entry, where);
    } catch (error) {
      if (!(error instanceof zekalg.EncodingError)) throw error;
      const code = error.character.codePointAt(0).toString(16).toUpperCase().padStart(4, "0");
      reject(`'${where}': character U+${code} has no Windows-1252 byte`);
    }
    // One request a line for the engine: a line feed would make two.
    if (entry === "" || entry.includes("\n")) reject(`'${where}' must be one line of text`);
  });
  return list;
}

// A student's responses: any text, but one line each and no NUL.
function responseList(doc, name) {
  if (!given(doc, name)) return null;
  const list = doc[name];
  if (!Array.isArray(list)) reject(`'${name}' must be a list of strings`);
  list.forEach((entry, i) => {
    const where = `${name}[${i}]`;
    if (typeof entry !== "string") reject(`'${where}' must be a string`);
    if (entry.includes("\0")) reject(`'${where}' holds a NUL character`);
    if (/[\r\n]/.test(entry)) reject(`'${where}' must be one line of text`);
  });
  return list;
}

function flagField(doc, name) {
  if (!given(doc, name)) return false;
  if (typeof doc[name] !== "boolean") reject(`'${name}' must be true or false`);
  return doc[name];
}

// A negative seed counts from 2^32, as the service reads it; none: a random one.
function chosenSeed(doc) {
  const seed = integerField(doc, "seed", -(2 ** 31), 2 ** 32 - 1);
  if (seed === null) return crypto.getRandomValues(new Uint32Array(1))[0];
  return seed < 0 ? seed + 2 ** 32 : seed;
}

// What the tools layer could not run (a variable that is not defined, ...).
function tools(call) {
  try {
    return call();
  } catch (error) {
    if (error instanceof zekalg.AlgorithmError) reject(error.message);
    throw error;
  }
}

const endpoints = {
  "/v1/solve": (doc) => {
    allowFields(doc, ["algorithm", "base", "seed", "requests", "ascii_minus"]);
    const algorithm = algorithmField(doc, "algorithm", true);
    const base = algorithmField(doc, "base", false);
    const requests = textList(doc, "requests", MAX_REQUESTS);
    const asciiMinus = flagField(doc, "ascii_minus");
    const seed = chosenSeed(doc);
    return tools(() => zekalg.variant(algorithm, {
      base, seed, requests: requests.length ? requests : null, asciiMinus,
    }));
  },
  "/v1/sample": (doc) => {
    allowFields(doc, ["algorithm", "base", "seed", "count", "variables", "ascii_minus"]);
    const algorithm = algorithmField(doc, "algorithm", true);
    const base = algorithmField(doc, "base", false);
    const count = integerField(doc, "count", 1, MAX_COUNT) ?? DEFAULT_COUNT;
    const asciiMinus = flagField(doc, "ascii_minus");
    const seed = chosenSeed(doc);
    const variables = textList(doc, "variables", MAX_VARIABLES);
    return tools(() => zekalg.sample(algorithm, count, {
      base, seed, variables: variables.length ? variables : null, asciiMinus,
    }));
  },
  "/v1/check": (doc) => {
    allowFields(doc, ["algorithm", "base"]);
    const algorithm = algorithmField(doc, "algorithm", true);
    const base = algorithmField(doc, "base", false);
    return tools(() => zekalg.check(algorithm, { base, creations: CHECK_CREATIONS }));
  },
  // A question the tools cannot grade is the service's 422, with the text
  // and line at fault where they are known.
  "/v1/grade": (doc) => {
    allowFields(doc, ["algorithm", "base", "seed", "responses", "ascii_minus"]);
    const algorithm = algorithmField(doc, "algorithm", true);
    const base = algorithmField(doc, "base", false);
    if (!given(doc, "seed")) reject("'seed' is missing");
    const seed = chosenSeed(doc);
    const responses = responseList(doc, "responses");
    const asciiMinus = flagField(doc, "ascii_minus");
    try {
      return zekalg.grade(algorithm, { base, seed, responses, asciiMinus });
    } catch (error) {
      if (!(error instanceof zekalg.AlgorithmError)) throw error;
      const where = error.line > 0 ? { field: error.source || "algorithm", line: error.line } : {};
      throw new RequestError(422, problem(422, GRADE, error.message, where));
    }
  },
};

function answer(path, text) {
  const endpoint = Object.hasOwn(endpoints, path) ? endpoints[path] : null;
  if (endpoint === null) {
    throw new RequestError(404, problem(404, "about:blank",
      `${path} is not answered without the service`));
  }
  let doc;
  try {
    doc = JSON.parse(text);
  } catch (error) {
    reject(`malformed JSON: ${error.message}`);
  }
  if (doc === null || typeof doc !== "object" || Array.isArray(doc)) {
    reject("the body must be a JSON object");
  }
  return endpoint(doc);
}

const loaded = zekalg.load();

self.onmessage = async ({ data: { id, path, body } }) => {
  let status = 200;
  let document;
  try {
    await loaded;
    document = answer(path, body);
  } catch (error) {
    if (error instanceof RequestError) {
      ({ status, body: document } = error);
    } else {
      status = 503;
      document = problem(503, "about:blank", `the zekalg module failed: ${error.message}`);
    }
  }
  self.postMessage({ id, status, body: document });
};
