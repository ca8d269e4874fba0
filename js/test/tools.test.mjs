// The tools through the module: a sample's rows come back as environments
// with their seeds, a variant is what solveAll gives, a question's right
// answers are right, and calls that cannot run or texts the engine cannot
// take are the package's errors.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync, readdirSync } from "node:fs";
import path from "node:path";
import { root, zekalg } from "./package.mjs";

const { Environment, AlgorithmError, EncodingError, sample, check, variant, grade } = zekalg;

// A tree without the tools layer builds the module without them.
const hasTools = (() => {
  try {
    check("k_a|1");
    return true;
  } catch (error) {
    if (/no tools layer/.test(error.message)) return false;
    throw error;
  }
})();
const skip = !hasTools && "the module was built without the tools layer";

const ALGORITHM = "r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\nk_pi|3\nq_diff|a-b-10|0";

test("sample: every row is the variant its seed brings back", { skip }, () => {
  const answer = sample(ALGORITHM, 50, { seed: 1234567890123n, threads: 4 });
  assert.equal(answer.variants.length, 50);
  assert.deepEqual(answer.variables, ["a", "b", "sum", "pi", "diff"]);
  for (const row of answer.variants) {
    const env = new Environment(ALGORITHM, { seed: row.seed });
    try {
      assert.deepEqual(row.values, env.solveAll(), `row ${row.row}`);
    } finally {
      env.dispose();
    }
  }
  assert.equal(answer.histograms.a.kind, "values");
  assert.deepEqual(sample(ALGORITHM, 50, { seed: 1234567890123 }).variants, answer.variants);
});

test("variant: the results of solveAll, or each request's own error", { skip }, () => {
  const env = new Environment(ALGORITHM, { seed: 99 });
  try {
    const answer = variant(ALGORITHM, { seed: 99 });
    assert.equal(answer.created, true);
    assert.deepEqual(Object.fromEntries(answer.results.map((r) => [r.request, r.text])),
      env.solveAll());
    const some = variant(ALGORITHM, { seed: 99, requests: ["diff", "1/0"], asciiMinus: true });
    assert.equal(some.results[0].text, env.solve("diff").replace("\u2013", "-"));
    assert.deepEqual([some.results[1].status, some.results[1].message],
      ["error", "error while evaluating '/': division by zero"]);
  } finally {
    env.dispose();
  }
});

test("check: the diagnostics in the algorithm's lines", { skip }, () => {
  const answer = check(ALGORITHM);
  assert.deepEqual(answer.diagnostics.map((d) => [d.source, d.line, d.severity]),
    [["algorithm", 5, "error"]]);
  assert.match(answer.diagnostics[0].message, /'pi' is a reserved word/);
});

test("tools: errors", { skip }, () => {
  assert.throws(() => sample(ALGORITHM, 5, { variables: ["nope"] }), AlgorithmError);
  assert.throws(() => sample(ALGORITHM, 0), AlgorithmError);
  assert.throws(() => check("k_a|\u4e00"), EncodingError);
  assert.throws(() => variant(ALGORITHM, { requests: ["a\nb"] }), TypeError);
});

// A response that is readable and wrong for a part: another option, or the
// right number with its first significant digit changed.
function wrongResponse(part) {
  if (part.kind === "choice") return part.options[part.right_option % part.options.length];
  if (part.kind === "text") return "no such unit";
  return part.answer.replace(/[1-9]/, (d) => String((Number(d) % 9) + 1));
}

const questions = readdirSync(path.join(root, "examples"))
  .filter((f) => /^q_.*\.alg$/.test(f))
  .sort();

test("grade: the right answers are right, wrong ones wrong", { skip, timeout: 60_000 }, () => {
  assert.ok(questions.length >= 3);
  for (const file of questions) {
    const algorithm = readFileSync(path.join(root, "examples", file), "utf8");
    for (const seed of [1, 2026, -7]) {
      const shown = grade(algorithm, { seed });
      assert.equal(shown.verdicts, undefined);
      const env = new Environment(algorithm, { seed });
      try {
        for (const part of shown.parts) {
          if (part.kind !== "choice") assert.equal(part.answer, env.solve(part.variable), file);
        }
      } finally {
        env.dispose();
      }
      const n = shown.parts.length;
      const right = grade(algorithm, { seed, responses: shown.parts.map((p) => p.answer) });
      assert.deepEqual(right.verdicts.map((v) => v.result), Array(n).fill("right"), file);
      assert.equal(right.right, n);
      const wrong = grade(algorithm, { seed, responses: shown.parts.map(wrongResponse) });
      assert.deepEqual(wrong.verdicts.map((v) => v.result), Array(n).fill("wrong"), file);
    }
  }
});

test("grade: what students type, and errors", { skip, timeout: 60_000 }, () => {
  const q = 'q_a|-3.5|1\nq_p|"Give a."\n?prompt|p\n?numeric|a';
  const results = (responses) => grade(q, { seed: 1, responses }).verdicts.map((v) => v.result);
  assert.deepEqual(results(["\u22123.5"]), ["right"]);  // beyond the code page
  assert.deepEqual(results(["\u221a2"]), ["unreadable"]);
  assert.equal(grade(q, { seed: 1, asciiMinus: true }).parts[0].answer, "-3.5");
  const two = 'k_a|1\nk_b|"x"\n?numeric|a\n?text|b';
  assert.deepEqual(grade(two, { seed: 1, responses: ["", ""] }).verdicts.length, 2);
  assert.throws(() => grade(two, { seed: 1, responses: [] }), /^AlgorithmError: 0 responses for 2 parts$/);
  assert.throws(() => grade(two, { seed: 1, responses: ["1"] }), /1 response for 2 parts/);
  assert.throws(() => grade("k_a|1", { seed: 1 }), AlgorithmError);
  assert.throws(() => grade(q, { seed: 1, responses: ["1\n2"] }), TypeError);
  assert.throws(() => grade(q, {}), TypeError);
  assert.throws(() => grade(`${q}\nk_o|"\u4e00"`, { seed: 1 }), EncodingError);
});
