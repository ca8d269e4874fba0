// One sample, four front ends: `zekalg sample FILE -n 50 --seed 1` (with and
// without --base) must give the same rows, seeds and values through the
// command, the service (/v1/sample), the Python package and the JavaScript
// package, for every example. Each row must also come back by its seed.
//
//   ZEKALG=path/to/zekalg PYTHON=venv/bin/python ZEKALG_JS_PACKAGE=build/wasm/package \
//     node --test tests/frontends/same_rows.mjs
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { readFileSync, readdirSync } from "node:fs";
import path from "node:path";

import { js, python, root, startService, zekalgCommand } from "./front_ends.mjs";

const examples = readdirSync(path.join(root, "examples"))
  .filter((f) => f.endsWith(".alg") && f !== "course_base.alg")
  .sort()
  .map((f) => path.join(root, "examples", f));
const base = path.join(root, "examples/course_base.alg");
const read = (file) => readFileSync(file, "utf8");

// Rows as every front end gives them: row, seed, values (keys in order).
const normal = (variants) =>
  variants.map(({ row, seed, values }) => ({
    row,
    seed,
    values: Object.fromEntries(Object.entries(values).sort(([a], [b]) => (a < b ? -1 : 1))),
  }));

function fromCommand(file, baseFile) {
  const args = ["sample", file, "-n", "50", "--seed", "1", "--format", "json"];
  if (baseFile) args.push("--base", baseFile);
  const run = spawnSync(zekalgCommand, args, { encoding: "utf8" });
  assert.equal(run.status, 0, run.stderr);
  return normal(JSON.parse(run.stdout).variants);
}

function fromPython(file, baseFile) {
  const args = [path.join(root, "python/tests/sample_rows.py"), file, "50", "1"];
  if (baseFile) args.push(baseFile);
  const run = spawnSync(python, args, { encoding: "utf8" });
  assert.equal(run.status, 0, run.stderr);
  return normal(JSON.parse(run.stdout).variants);
}

function fromJavaScript(file, baseFile) {
  const doc = js.sample(read(file), 50, { seed: 1, base: baseFile ? read(baseFile) : null });
  return normal(doc.variants);
}

// The service, on a free loopback port.
const origin = await startService();

async function fromService(file, baseFile) {
  const body = { algorithm: read(file), count: 50, seed: 1 };
  if (baseFile) body.base = read(baseFile);
  const answer = await fetch(`${origin}/v1/sample`, {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(body),
  });
  assert.equal(answer.status, 200);
  return normal((await answer.json()).variants);
}

for (const file of examples) {
  for (const baseFile of [null, base]) {
    const name = path.basename(file) + (baseFile ? " --base course_base.alg" : "");
    test(`${name}: the same rows everywhere`, async () => {
      const command = fromCommand(file, baseFile);
      assert.ok(command.length > 0);
      assert.deepEqual(await fromService(file, baseFile), command, "the service");
      assert.deepEqual(fromPython(file, baseFile), command, "Python");
      assert.deepEqual(fromJavaScript(file, baseFile), command, "JavaScript");
      // A row comes back by its seed.
      const row = command[command.length - 1];
      const again = new js.Environment(read(file), {
        seed: row.seed,
        base: baseFile ? read(baseFile) : undefined,
      });
      try {
        for (const [name, value] of Object.entries(row.values)) {
          assert.equal(again.solve(name), value, `${name} of row ${row.row}`);
        }
      } finally {
        again.dispose();
      }
    });
  }
}
