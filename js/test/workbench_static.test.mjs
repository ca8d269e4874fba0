// The workbench as static files (build/wasm/site), served by a plain file
// server with no zekalg process anywhere: its requests to the service find
// none, and the module answers them in the browser. An author types an
// algorithm, sees its diagnostics and a sample, opens a variant, solves in
// it, and a text the engine cannot take is marked at its line; a student
// answers a question and gets its verdicts.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import path from "node:path";
import { readFileSync } from "node:fs";
import { launchChromium } from "./browser.mjs";
import { packageDir, zekalg } from "./package.mjs";
import { serveStatic } from "./static_server.mjs";

const site = path.join(path.dirname(packageDir), "site");
// Line 5 defines nothing a lookup can reach (pi is reserved).
const ALGORITHM = "r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\nk_pi|3\nq_diff|a-b-10|0";

let server;
let browser;

before(async () => {
  server = await serveStatic({ "/": site });
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  await server?.close();
});

async function openWorkbench() {
  const page = await browser.context.newPage();
  page.setDefaultTimeout(20000);
  const failures = [];
  page.on("pageerror", (error) => failures.push(error.message));
  await page.goto(server.origin + "/");
  return { page, failures };
}

async function type(page, text) {
  await page.locator("#editor").fill(text);
  await page.locator("#editor").dispatchEvent("input");
}

test("diagnostics, a sample, a variant and a solve, all from the module", async () => {
  const { page, failures } = await openWorkbench();
  await type(page, ALGORITHM);

  await page.locator('#gutter div.error[data-line="5"]').waitFor();
  assert.match(await page.locator("#diagnostics li").first().textContent(),
    /^line 5:.*'pi' is a reserved word/);

  const rows = page.locator("#variants tbody tr");
  await rows.nth(9).waitFor();
  assert.match(await page.locator("#summary").textContent(), /\d+ made, 0 failed/);

  // A row's values are the variant its seed brings back, as Node's module
  // (and the native library) make it.
  const row = rows.nth(3);
  const [, seed, a, b, sum, pi, diff] = await row.locator("td").allTextContents();
  const env = new zekalg.Environment(ALGORITHM, { seed: Number(seed) });
  try {
    assert.deepEqual([a, b, sum, pi, diff], Object.values(env.solveAll()));
  } finally {
    env.dispose();
  }

  await row.locator("button.seed").click();
  await page.locator("#variant-seed", { hasText: seed }).waitFor();
  await page.locator("#request").fill("str(a*b,0) & \" \u2013 \" & str(sum,0)");
  await page.locator("#solve-button").click();
  const expected = `${Number(a) * Number(b)} \u2013 ${sum}`;
  await page.locator("#solve-result", { hasText: expected }).waitFor();
  assert.deepEqual(failures, []);
});

test("a text the engine cannot take is marked at its line", async () => {
  const { page, failures } = await openWorkbench();
  await type(page, "r_a|1|9\nk_t|\"\u221a2\"");
  await page.locator('#gutter div.error[data-line="2"]').waitFor();
  assert.match(await page.locator("#diagnostics li").first().textContent(),
    /character U\+221A has no Windows-1252 byte/);
  assert.deepEqual(failures, []);
});

test("the student view typesets and grades a question with no server", async () => {
  const { page, failures } = await openWorkbench();
  const algorithm = readFileSync(new URL("../../examples/q_area.alg", import.meta.url), "utf8");
  await type(page, algorithm);
  await page.locator("#variants tbody tr").first().waitFor();
  await page.locator("#student-details summary").click();
  await page.locator("#student .prompt").waitFor();
  const seed = Number((await page.locator("#variant-seed").textContent()).match(/^seed (\d+)/)[1]);
  const right = zekalg.grade(algorithm, { seed }).parts[0].answer;

  for (const [typed, verdict] of [[right, "right"], ["1", "wrong"], ["many", "unreadable"]]) {
    await page.locator("#student input[type=text]").fill(typed);
    await page.locator("#student button[type=submit]").click();
    await page.locator(`#student .verdict.${verdict}`).waitFor();
  }
  assert.ok(await page.locator("#student .solution .katex").count() > 0, "the solution is typeset");
  assert.deepEqual(failures, []);
});
