// One question, three front ends: for every example question (examples/q_*.alg)
// the service (/v1/grade), the Python package and the JavaScript package
// give the same grade document, byte for byte, for the question alone and
// for right, wrong and empty responses; and the same refusal when the
// responses are not one per part.
//
//   ZEKALG=path/to/zekalg PYTHON=venv/bin/python ZEKALG_JS_PACKAGE=build/wasm/package \
//     node --test tests/frontends/same_grade.mjs
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import path from "node:path";

import { js, python, root, startService } from "./front_ends.mjs";

const questions = readdirSync(path.join(root, "examples"))
  .filter((f) => /^q_.*\.alg$/.test(f))
  .sort();

// A response that is readable and wrong for a part: another option, or the
// right number with its first significant digit changed.
function wrongResponse(part) {
  if (part.kind === "choice") return part.options[part.right_option % part.options.length];
  if (part.kind === "text") return "no such unit";
  return part.answer.replace(/[1-9]/, (d) => String((Number(d) % 9) + 1));
}

// The service, on a free loopback port.
const origin = await startService(["--threads", "2"]);

// The service's answer as sent: its status and its text.
async function fromService(c) {
  const answer = await fetch(`${origin}/v1/grade`, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(c),
  });
  return [answer.status, await answer.text()];
}

// Every case's document from one Python process, one line each.
function fromPython(cases) {
  const run = spawnSync(python, [path.join(root, "python/tests/grade_documents.py")], {
    input: cases.map((c) => JSON.stringify(c)).join("\n") + "\n",
    encoding: "utf8",
    timeout: 60_000,
  });
  assert.equal(run.status, 0, run.stderr);
  return run.stdout.split("\n").slice(0, cases.length);
}

function fromJavaScript(c) {
  try {
    return JSON.stringify(js.grade(c.algorithm, { seed: c.seed, responses: c.responses,
      asciiMinus: c.ascii_minus }));
  } catch (error) {
    return JSON.stringify({ error: error.message });
  }
}

for (const file of questions) {
  test(`${file}: the same grade document everywhere`, { timeout: 60_000 }, async () => {
    const algorithm = readFileSync(path.join(root, "examples", file), "utf8");
    const cases = [];
    for (const seed of [1, 4294967295]) {
      const { parts } = js.grade(algorithm, { seed });
      for (const ascii_minus of [false, true]) {
        cases.push({ algorithm, seed, ascii_minus });
        for (const responses of [parts.map((p) => p.answer), parts.map(wrongResponse),
          parts.map(() => ""), [...parts.map((p) => p.answer), "1"]]) {
          cases.push({ algorithm, seed, responses, ascii_minus });
        }
      }
    }
    const python = fromPython(cases);
    for (const [i, c] of cases.entries()) {
      const [status, text] = await fromService(c);
      const ours = fromJavaScript(c);
      const what = `seed ${c.seed}, responses ${JSON.stringify(c.responses)}`;
      if (status === 200) {
        assert.equal(ours, text, `JavaScript, ${what}`);
      } else {
        // One response too many: the tools' message, as a problem document.
        assert.equal(status, 422, text);
        assert.equal(ours, JSON.stringify({ error: JSON.parse(text).detail }), `JavaScript, ${what}`);
      }
      assert.equal(python[i], ours, `Python, ${what}`);
    }
    // The right answers are right.
    const right = JSON.parse(fromJavaScript(cases[1]));
    assert.ok(right.verdicts.every((v) => v.result === "right"), JSON.stringify(right.verdicts));
  });
}
