// The package in a browser: a page served as static files imports it,
// loads the module and solves, with the texts and errors of Node.
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { launchChromium } from "./browser.mjs";
import { packageDir } from "./package.mjs";
import { serveStatic } from "./static_server.mjs";

let server;
let browser;

before(async () => {
  server = await serveStatic({ "/zekalg/": packageDir },
    { "/": "<!doctype html><title>zekalg</title>" });
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  await server?.close();
});

test("a page imports the package, loads the module and solves", async () => {
  const page = await browser.context.newPage();
  const failures = [];
  page.on("pageerror", (error) => failures.push(error.message));
  await page.goto(server.origin + "/");
  const answer = await page.evaluate(async () => {
    const z = await import("/zekalg/index.mjs");
    await z.load();
    const env = new z.Environment("r_a|1|9\nq_sq|a^2|0\nk_t|\"\u20ac\"", { seed: 2026 });
    const all = env.solveAll();
    const negative = env.solve("-a");
    let error;
    try {
      env.solve("1/0");
    } catch (e) {
      error = [e.name, e.message, e instanceof z.SolveError];
    }
    env.dispose();
    return { all, negative, error };
  });
  assert.deepEqual(answer, {
    all: { a: "2", sq: "4", t: "\u20ac" },
    negative: "\u20132",
    error: ["SolveError", "error while evaluating '/': division by zero", true],
  });
  assert.deepEqual(failures, []);
});
