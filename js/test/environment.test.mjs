// Environments through the package: the conformance cases of the C
// functions (tests/conformance/cases.txt) through Environment, what the
// package adds (texts, errors, disposal) in tables, and the tools' answers.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import path from "node:path";
import { packageDir, root, zekalg } from "./package.mjs";

const { Environment, SolveError, AlgorithmError, EncodingError, ZekalgError } = zekalg;

// ---- the conformance cases, byte for byte ----

// The cases file's escapes (\n \r \t \\ \xHH) as engine bytes, read back
// as the package's text: the text the package must answer.
function unescape(text) {
  const bytes = [];
  for (let i = 0; i < text.length; ++i) {
    if (text[i] !== "\\") {
      bytes.push(text.charCodeAt(i));
      continue;
    }
    const next = text[++i];
    if (next === "x") {
      bytes.push(parseInt(text.slice(i + 1, i + 3), 16));
      i += 2;
    } else {
      bytes.push({ n: 10, r: 13, t: 9, "\\": 92 }[next]);
    }
  }
  return String.fromCharCode(...bytes.map((b) => (b >= 0x80 && b < 0xa0 ? CP1252_HIGH.charCodeAt(b - 0x80) : b)));
}

// Windows-1252's bytes 128 to 159, the five it leaves undefined as C1 controls.
const CP1252_HIGH =
  "\u20ac\x81\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\x8d\u017d\x8f" +
  "\x90\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\x9d\u017e\u0178";

function conformanceCases() {
  const file = readFileSync(path.join(root, "tests/conformance/cases.txt"), "latin1");
  const cases = [];
  for (const line of file.split("\n")) {
    if (line === "" || line.startsWith("#")) continue;
    const space = line.indexOf(" ");
    const directive = space < 0 ? line : line.slice(0, space);
    const text = space < 0 ? "" : unescape(line.slice(space + 1));
    if (directive === "case") cases.push({ name: text, steps: [] });
    else cases.at(-1).steps.push({ directive, text });
  }
  return cases;
}

for (const { name, steps } of conformanceCases()) {
  test(`conformance: ${name}`, () => {
    const made = [];
    let current = null;
    let pendingSeed = null;
    let last = null; // [status, text] of the step before an expect
    try {
      for (const { directive, text } of steps) {
        if (directive === "seed") {
          pendingSeed = Number(BigInt.asIntN(32, BigInt(text)));
        } else if (directive === "create" || directive === "derive") {
          const base = directive === "derive" ? current : null;
          try {
            current = new Environment(text, { base, seed: pendingSeed });
            made.push(current);
            last = null;
          } catch (error) {
            if (!(error instanceof AlgorithmError)) throw error;
            last = [-1, error.message];
          }
          pendingSeed = null;
        } else if (directive === "solve" || directive === "solve-once") {
          try {
            last = [0, current.solve(text)];
          } catch (error) {
            if (error instanceof SolveError) last = [error.status, error.message];
            else if (current.disposed) last = [0, ""]; // the C functions answer a killed id so
            else throw error;
          }
        } else if (directive === "use") {
          current = made[Number(text) - 1];
          assert.ok(current, `no environment ${text} was created`);
        } else if (directive === "kill") {
          current.dispose();
        } else if (directive === "expect") {
          const space = text.indexOf(" ");
          const status = Number(space < 0 ? text : text.slice(0, space));
          assert.deepEqual(last, [status, space < 0 ? "" : text.slice(space + 1)]);
        }
      }
    } finally {
      for (const env of made) env.dispose();
    }
  });
}

// ---- texts: every byte both ways ----

test("texts: requests and results carry every Windows-1252 character", () => {
  const env = new Environment("k_c|1", { seed: 1 });
  try {
    // Each byte through chr() comes back as its character, and each
    // character through asc() as its byte.
    for (let byte = 1; byte < 256; ++byte) {
      const character = unescape(`\\x${byte.toString(16).padStart(2, "0")}`);
      assert.equal(env.solve(`chr(${byte})`), character, `chr(${byte})`);
      if (character !== '"' && character !== "\\") assert.equal(env.solve(`asc("${character}")`), String(byte));
    }
    assert.equal(env.solve("-1.5"), "\u20131.500000");
  } finally {
    env.dispose();
  }
});

const encodingErrors = [
  // [algorithm, request, message, line, column]
  ["r_a|1|9\nq_b|a\u4e00|0", null,
    "algorithm, line 2, column 6: character '\u4e00' (U+4E00) has no Windows-1252 byte", 2, 6],
  ["r_a|1|9\nq_b|a\ud83d\ude00|0", null,
    "algorithm, line 2, column 6: character '\ud83d\ude00' (U+1F600) has no Windows-1252 byte", 2, 6],
  ["k_a|1", "a\0",
    "request, column 2: character '\\x00' (U+0000) cannot be passed: the engine's texts end at NUL", 1, 2],
  ["k_a|1", "\ud800", "request, column 1: character '\ud800' (U+D800) has no Windows-1252 byte", 1, 1],
];

test("texts: a character without a byte, or NUL, is an EncodingError", () => {
  for (const [algorithm, request, message, line, column] of encodingErrors) {
    const attempt = () => {
      const env = new Environment(algorithm);
      try {
        env.solve(request);
      } finally {
        env.dispose();
      }
    };
    assert.throws(attempt, (e) => e instanceof EncodingError && e.message === message &&
      e.line === line && e.column === column, message);
  }
});

// ---- errors: the engine's message, and the variable and line it is about ----

const engineErrors = [
  // [algorithm, request (null: the creation fails), class, message, variable, line, status]
  ["r_a|1|9\nc_never|a>100", null, AlgorithmError, "condition a>100 could not be satisfied", null, 2],
  ["r_a|1|9\nq_B|1/0|0", "b", SolveError, "b: error while evaluating '/': division by zero", "b", 2, -1],
  ["k_a|1", "1/0", SolveError, "error while evaluating '/': division by zero", null, null, -1],
  ["k_a|1", "q", SolveError, "variable 'q' not defined", null, null, -1],
];

test("errors: classes with the engine's message, variable, line and status", () => {
  for (const [algorithm, request, kind, message, variable, line, status] of engineErrors) {
    const attempt = () => {
      const env = new Environment(algorithm, { seed: 3 });
      try {
        env.solve(request);
      } finally {
        env.dispose();
      }
    };
    assert.throws(attempt, (e) => {
      assert.ok(e instanceof kind && e instanceof zekalg.EngineError, e.name);
      assert.deepEqual([e.message, e.variable, e.line, e.seed], [message, variable, line, 3]);
      if (kind === SolveError) assert.deepEqual([e.status, e.request], [status, request]);
      return true;
    });
  }
});

// ---- environments: options, disposal ----

test("environments: bases, solveAll, asciiMinus and seeds", () => {
  const base = new Environment("k_K|-4");
  const own = new Environment("r_A|1|9\nq_sq|a^2|0\nr_a|5|5", { seed: 2026, base: "k_K|-4" });
  const shared = new Environment("q_m|k*2|0", { base, asciiMinus: true });
  try {
    assert.deepEqual(own.solveAll(), { A: "2", sq: "4" });
    assert.deepEqual(own.variables, ["A", "sq"]);
    assert.equal(own.solve("k"), "\u20134");
    assert.equal(shared.solve("m"), "-8");
    assert.equal(shared.base, base);
    const ownBase = own.base;
    own.dispose();
    assert.ok(ownBase.disposed, "a base given as text goes with its environment");
    assert.ok(!base.disposed);
  } finally {
    for (const env of [own, shared, base]) env.dispose();
  }
  for (const [value, kind] of [[2 ** 32, RangeError], [-(2 ** 31) - 1, RangeError], [1.5, TypeError],
    ["1", TypeError]]) {
    assert.throws(() => new Environment("k_a|1", { seed: value }), kind, String(value));
  }
});

test("environments: dispose twice, and use after dispose", () => {
  const env = new Environment("r_a|1|9");
  const id = env.id;
  env.dispose();
  env[Symbol.dispose ?? Symbol.for("nodejs.dispose")]();
  assert.deepEqual([env.id, env.disposed], [0, true]);
  assert.throws(() => env.solve("a"), (e) => e instanceof ZekalgError && /disposed/.test(e.message));
  assert.throws(() => new Environment("k_b|1", { base: env }), ZekalgError);
  assert.ok(id > 0);
});

test("environments: nesting no limit bounds ends in an error, and the engine goes on", () => {
  let chain = "";
  for (let i = 1; i < 20000; ++i) chain += `q_v${i}|1|v${i + 1}\n`;
  for (let round = 0; round < 3; ++round) {
    assert.throws(() => new Environment(chain + "q_v20000|1\nc_ok|v1>0"),
      (e) => e instanceof AlgorithmError && /stack overflow$/.test(e.message));
  }
  const env = new Environment("f_f|if(n<=0, 0, f(n-1)+1)|n");
  try {
    assert.equal(env.solve("f(5000)"), "5000");
    assert.throws(() => env.solve("f(1000000)"), { message: "error in 'f': stack overflow" });
  } finally {
    env.dispose();
  }
});

test("loading leaves the host process's error handlers alone", async () => {
  const handlers = () => ["uncaughtException", "unhandledRejection"].map((e) => process.listenerCount(e));
  const before = handlers();
  const create = createRequire(import.meta.url)(path.join(packageDir, "zekalg_engine.cjs"));
  await create({ wasmBinary: readFileSync(path.join(packageDir, "zekalg_engine.wasm")) });
  assert.deepEqual(handlers(), before);
});
