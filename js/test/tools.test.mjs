// The tools through the module: a sample's rows come back as environments
// with their seeds, a variant is what solveAll gives, and calls that cannot
// run or texts the engine cannot take are the package's errors.
import { test } from "node:test";
import assert from "node:assert/strict";
import { zekalg } from "./package.mjs";

const { Environment, AlgorithmError, EncodingError, sample, check, variant } = zekalg;

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
