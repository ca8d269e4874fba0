// The workbench in a real browser (Debian's headless Chromium, driven by
// playwright-core), served by a running `zekalg serve` on loopback: an author
// types an algorithm, sees its diagnostics and variants, opens a variant by
// its seed, solves a request in it, and brings the view back from the URL;
// late answers never replace newer ones; Tab indents with spaces; the base
// has its own diagnostics; the preview walks the variants; and a test file
// recorded or compared in the page is the command's, byte for byte.
//
// ZEKALG names the command (default: build/default/zekalg), CHROMIUM the
// browser (default: /usr/bin/chromium).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, writeFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { once } from "node:events";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

const command =
  process.env.ZEKALG || fileURLToPath(new URL("../../build/default/zekalg", import.meta.url));
const browserPath = process.env.CHROMIUM || "/usr/bin/chromium";

// Line 5 defines nothing a lookup can reach (pi is reserved): an error that
// leaves every variant intact.
const ALGORITHM = "r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_sum|a+b|0\nk_pi|3\nq_diff|a-b-10|0";

let server;
let origin;
let browser;

before(async () => {
  server = spawn(command, ["serve", "--listen", "127.0.0.1:0", "--threads", "4"], {
    stdio: ["ignore", "ignore", "pipe"],
  });
  origin = await new Promise((resolve, reject) => {
    let said = "";
    server.stderr.on("data", (chunk) => {
      said += chunk;
      const found = said.match(/listening on (http:\/\/127\.0\.0\.1:\d+)\//);
      if (found) resolve(found[1]);
    });
    server.on("exit", (code) => reject(new Error(`zekalg serve exited (${code}): ${said}`)));
  });
  browser = await chromium.launch({
    executablePath: browserPath,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server && server.exitCode === null) {
    const exited = once(server, "exit");
    server.kill("SIGTERM");
    const [code] = await exited;
    assert.equal(code, 0, "zekalg serve stops cleanly on SIGTERM");
  }
});

async function cells(row) {
  return row.locator("td").allTextContents();
}

test("type, diagnose, sample, open a variant, solve, and come back by the URL", async () => {
  const page = await browser.newPage();
  page.setDefaultTimeout(15000);
  const failures = [];
  page.on("pageerror", (error) => failures.push(error.message));
  await page.goto(origin + "/");

  // Typing: the editor is debounced, so the answers come once it rests.
  await page.locator("#editor").click();
  await page.keyboard.type(ALGORITHM);

  // The diagnostic is listed and its line marked in the gutter.
  await page.locator('#gutter div.error[data-line="5"]').waitFor();
  const diagnostics = await page.locator("#diagnostics li").allTextContents();
  assert.equal(diagnostics.length, 1, diagnostics.join("\n"));
  assert.match(diagnostics[0], /^line 5:.*'pi' is a reserved word/);
  assert.equal(await page.locator("#gutter div.error").count(), 1);

  // A table of variants with their seeds, and a histogram per variable.
  const rows = page.locator("#variants tbody tr");
  await rows.nth(19).waitFor();
  assert.equal(await rows.count(), 20);
  assert.deepEqual(await page.locator("#variants thead th").allTextContents(),
    ["row", "seed", "a", "b", "sum", "pi", "diff"]);
  assert.equal(await page.locator("#histograms svg").count(), 5);
  assert.match(await page.locator("#summary").textContent(), /^200 made, 0 failed, \d+ distinct/);

  // A click on a row's seed shows that variant whole: the same values.
  const row = rows.nth(6);
  const [, seed, a, b, sum, pi, diff] = await cells(row);
  await row.locator("button.seed").click();
  await page.locator("#variant-seed", { hasText: `seed ${seed}` }).waitFor();
  await page.locator("#variant dl").waitFor();
  const names = await page.locator("#variant dt").allTextContents();
  const values = await page.locator("#variant dd").allTextContents();
  // A lookup of pi finds the reserved value, never line 5's.
  assert.deepEqual(names, ["a", "b", "sum", "pi", "diff"]);
  assert.deepEqual(values, [a, b, sum, pi, diff]);
  assert.ok(diff.startsWith("\u2013"), "the engine's minus shows as an en dash: " + diff);
  assert.ok(await row.evaluate((tr) => tr.classList.contains("selected")));

  // Any request, solved in this variant.
  await page.locator("#request").fill("str(a*b,0) & \" and \" & str(sum,0)");
  await page.locator("#solve-button").click();
  const expected = `${Number(a) * Number(b)} and ${sum}`;
  await page.locator("#solve-result", { hasText: expected }).waitFor();
  assert.equal(await page.locator("#solve-result").textContent(), expected);
  await page.locator("#request").fill("nope(1)");
  await page.locator("#solve-button").click();
  await page.locator("#solve-result.error").waitFor();

  // The URL holds the algorithm and the seed: a new page shows the same.
  const url = page.url();
  assert.match(url, new RegExp(`[#&]seed=${seed}(&|$)`));
  const again = await browser.newPage();
  again.setDefaultTimeout(15000);
  await again.goto(url);
  assert.equal(await again.locator("#editor").inputValue(), ALGORITHM);
  await again.locator("#variant-seed", { hasText: `seed ${seed}` }).waitFor();
  await again.locator("#variant dl").waitFor();
  assert.deepEqual(await again.locator("#variant dd").allTextContents(), [a, b, sum, pi, diff]);
  await again.locator('#gutter div.error[data-line="5"]').waitFor();
  await again.locator("#variants tbody tr").nth(19).waitFor();
  assert.deepEqual(await cells(again.locator("#variants tbody tr").nth(6)), [
    "7", seed, a, b, sum, pi, diff,
  ]);
  assert.deepEqual(failures, []);
});

test("a text the engine cannot take is marked at its line", async () => {
  const page = await browser.newPage();
  page.setDefaultTimeout(15000);
  await page.goto(origin + "/");
  await page.locator("#editor").fill("r_a|1|9\nk_t|\"\u221a2\"");
  await page.locator("#editor").dispatchEvent("input");
  await page.locator('#gutter div.error[data-line="2"]').waitFor();
  assert.match(await page.locator("#diagnostics li").first().textContent(),
    /character U\+221A has no Windows-1252 byte/);
});

async function openPage() {
  const page = await (await browser.newContext()).newPage();
  page.setDefaultTimeout(15000);
  const failures = [];
  page.on("pageerror", (error) => failures.push(error.message));
  await page.goto(origin + "/");
  return { page, failures };
}

async function setText(page, selector, text) {
  if (selector === "#base" && !(await page.locator("#base").isVisible())) {
    await page.locator("#base-details summary").click();
  }
  await page.locator(selector).fill(text);
  await page.locator(selector).dispatchEvent("input");
}

// The variant as the service gives it for a seed, asked from the page.
async function solved(page, algorithm, seed) {
  const answer = await page.evaluate(async ([algorithm, seed]) => {
    const response = await fetch("/v1/solve", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ algorithm, seed }),
    });
    return response.json();
  }, [algorithm, seed]);
  return Object.fromEntries(answer.results.map((r) => [r.request, r.text]));
}

async function shownSeed(page) {
  const heading = await page.locator("#variant-seed").textContent();
  return Number(heading.match(/^seed (\d+)/)[1]);
}

// Every answer the page shows belongs to the text and the seed on screen.
async function fresh(page) {
  try {
    await page.waitForFunction(() => document.querySelectorAll(".stale").length === 0);
  } catch (error) {
    const stale = await page.$$eval(".stale", (nodes) => nodes.map((n) => n.id));
    throw new Error(`still stale: ${stale.join(", ")}`, { cause: error });
  }
}

test("a late answer never replaces a newer one", async () => {
  const { page, failures } = await openPage();
  // Answers about the first text, and the first variant clicked, come late.
  const held = [];
  await page.route("**/v1/**", async (route) => {
    const body = route.request().postData() || "";
    if (body.includes("k_v|111") || body.includes('"seed":' + held.seed)) {
      await new Promise((resolve) => setTimeout(resolve, 1500));
    }
    try {
      await route.continue();
    } catch {
      // aborted by the page meanwhile
    }
  });

  await setText(page, "#editor", "k_v|111\nr_a|1|9\nq_w|v*a|0");
  await page.waitForTimeout(600);  // the requests about it are out
  await setText(page, "#editor", "k_v|222\nr_a|1|9\nq_w|v*a|0");
  await page.locator("#variants tbody tr").nth(1).waitFor();
  await fresh(page);
  await page.waitForTimeout(2000);  // the late answers have come
  await fresh(page);
  const values = await page.locator("#variant dd").allTextContents();
  assert.equal(values[0], "222");
  assert.equal(Number(values[2]), 222 * Number(values[1]));
  for (const v of await page.locator("#variants tbody tr td:nth-child(3)").allTextContents()) {
    assert.equal(v, "222");
  }

  // A click on one seed, then at once on another: the heading and the
  // values are the second's, though the first's answer comes after.
  const rows = page.locator("#variants tbody tr");
  const [, first] = await rows.nth(0).locator("td").allTextContents();
  const second = await rows.nth(1).locator("td").allTextContents();
  held.seed = first;
  await rows.nth(0).locator("button.seed").click();
  await rows.nth(1).locator("button.seed").click();
  await page.waitForTimeout(2000);
  await fresh(page);
  assert.equal(await shownSeed(page), Number(second[1]));
  assert.deepEqual(await page.locator("#variant dd").allTextContents(), second.slice(2));
  assert.deepEqual(failures, []);
});

test("Tab indents with spaces and Shift+Tab unindents", async () => {
  const { page } = await openPage();
  const cases = [
    { name: "at the caret", text: "q_s|a+", select: [6, 6], keys: ["Tab"], want: "q_s|a+  " },
    { name: "to the next stop", text: "q_s|a", select: [5, 5], keys: ["Tab"], want: "q_s|a " },
    { name: "lines selected", text: "r_a|1|9\nr_b|1|9\nq_c|a|0", select: [2, 10], keys: ["Tab"],
      want: "  r_a|1|9\n  r_b|1|9\nq_c|a|0" },
    { name: "back again", text: "  r_a|1|9\n r_b|1|9\nq_c|a|0", select: [0, 14], keys: ["Shift+Tab"],
      want: "r_a|1|9\nr_b|1|9\nq_c|a|0" },
    { name: "one line, caret kept", text: "k_a|1\n    k_b|2", select: [11, 11], keys: ["Shift+Tab", "x"],
      want: "k_a|1\n  kx_b|2" },
  ];
  for (const c of cases) {
    await page.locator("#editor").fill(c.text);
    await page.locator("#editor").evaluate((area, [from, to]) => area.setSelectionRange(from, to), c.select);
    for (const key of c.keys) await page.keyboard.press(key);
    assert.equal(await page.locator("#editor").inputValue(), c.want, c.name);
  }
  // The coloured layer behind the text holds the same characters, line for
  // line, and marks a pasted tab.
  const pasted = 'q_t|"a | b" & str(x2,1.5)\n\nr_n|1|9\tq';
  await page.locator("#editor").fill(pasted);
  assert.deepEqual(await page.locator("#backdrop > div").allTextContents(), pasted.split("\n"));
  assert.deepEqual(await page.locator("#backdrop .t-odd").allTextContents(), ["\t"]);
  await page.locator("#editor").fill("k_a|1\n  kx_b|2");

  // Escape, then Tab: on to the next control, the text unchanged.
  await page.keyboard.press("Escape");
  await page.keyboard.press("Tab");
  assert.notEqual(await page.evaluate(() => document.activeElement.id), "editor");
  assert.equal(await page.locator("#editor").inputValue(), "k_a|1\n  kx_b|2");
});

test("a fault in the base is shown in the base's own diagnostics", async () => {
  const { page, failures } = await openPage();
  await setText(page, "#base", "k_rate|3\nk_pi|3");
  await setText(page, "#editor", "r_a|1|9\nq_t|a*rate|0");
  await page.locator('#base-gutter div.error[data-line="2"]').waitFor();
  await fresh(page);
  const told = await page.locator("#base-diagnostics li").allTextContents();
  assert.equal(told.length, 1, told.join("\n"));
  assert.match(told[0], /^line 2:.*'pi' is a reserved word/);
  assert.equal(await page.locator("#gutter div.error").count(), 0);
  assert.match(await page.locator("#base-state").textContent(), /1 error/);
  // The algorithm reads the base's names.
  const values = await page.locator("#variant dd").allTextContents();
  assert.equal(Number(values[1]), 3 * Number(values[0]));
  // The browser keeps both texts: the page opened again without a link has them.
  const again = await page.context().newPage();
  await again.goto(origin + "/");
  assert.equal(await again.locator("#editor").inputValue(), "r_a|1|9\nq_t|a*rate|0");
  assert.equal(await again.locator("#base").inputValue(), "k_rate|3\nk_pi|3");
  assert.deepEqual(failures, []);
});

test("the preview walks the variants, seed by seed, as solve gives them", async () => {
  const { page, failures } = await openPage();
  const algorithm = 'r_a|1|9\nr_b|1|9\nc_ok|a<>b\nq_question|"What is " & str(a,0) & " + " & str(b,0) & "?"\nq_sum|a+b|0';
  await setText(page, "#editor", algorithm);
  await page.locator("#variants tbody tr").nth(19).waitFor();
  await page.locator("#question-var").selectOption("question");
  await page.locator("#answer-var").selectOption("sum");
  await fresh(page);

  const rowSeeds = (await page.locator("#variants tbody tr td:nth-child(2)").allTextContents()).map(Number);
  const visited = [];
  for (const step of ["start", "#seed-next", "#seed-next", "#seed-previous", "#seed-random"]) {
    const before = visited.length > 0 ? visited[visited.length - 1] : null;
    if (step !== "start") {
      await page.locator(step).click();
      await page.waitForFunction((old) => !document.querySelector("#variant-seed").textContent.startsWith("seed " + old + " "), before);
      await fresh(page);
    }
    const seed = await shownSeed(page);
    visited.push(seed);
    const v = await solved(page, algorithm, seed);
    assert.equal(await page.locator("#preview .question").textContent(), v.question, step);
    assert.equal(await page.locator("#preview .answer .text").textContent(), v.sum, step);
    assert.equal(v.question, `What is ${v.a} + ${v.b}?`);
  }
  assert.deepEqual(visited.slice(0, 4), [rowSeeds[0], rowSeeds[1], rowSeeds[2], rowSeeds[1]]);
  assert.ok(!rowSeeds.includes(visited[4]), "a random seed is a new one");

  // Every variant of the sample can be seen, a page at a time.
  await page.locator("#page-last").click();
  assert.equal(await page.locator("#page-info").textContent(), "rows 181–200 of 200");
  assert.deepEqual(await page.locator("#variants tbody tr td:first-child").allTextContents(),
    Array.from({ length: 20 }, (_, i) => String(181 + i)));

  // The choice of variables comes back with the page.
  const again = await browser.newPage();
  await again.goto(page.url());
  await again.locator("#preview .question").waitFor();
  assert.equal(await again.locator("#question-var").inputValue(), "question");
  assert.equal(await again.locator("#answer-var").inputValue(), "sum");
  assert.deepEqual(failures, []);
});

// The page records a test file as `zekalg test --update` does, and compares
// a stored one as `zekalg test` does: the same seeds, lines and errors.
test("test files recorded and compared in the page are the command's", async () => {
  const dir = mkdtempSync(join(tmpdir(), "workbench-test-"));
  try {
    const cases = [
      { name: "a failing variable and what fails with it, on a base",
        algorithm: "r_a|4|6\nq_t|a*rate|0\nq_bad|1/(a-5)|2\nq_c|bad+1|2\n", base: "k_rate|3\n", requests: [],
        edit: ["q_t|", "q_extra|1|0\nq_t|"], added: "extra = 1" },
      { name: "requests, one of them failing",
        algorithm: "r_a|4|6\nq_sq|a^2|0\n", base: "", requests: ["sq*2", "1/(a-5)", "str(a,0) & \"!\""],
        edit: ["a^2", "a^2+1"], added: "sq*2 = " },
    ];
    for (const c of cases) {
      const { page, failures } = await openPage();
      const alg = join(dir, "question.alg");
      writeFileSync(alg, c.algorithm);
      if (c.base) writeFileSync(join(dir, "base.alg"), c.base);
      const header = (c.base ? "@base base.alg\n" : "") + c.requests.map((r) => `@request ${r}\n`).join("");
      writeFileSync(join(dir, "question.test"), header);
      execFileSync(command, ["test", "--update", alg]);
      const expected = readFileSync(join(dir, "question.test"), "utf8");

      await page.locator("#alg-file").setInputFiles(alg);
      if (c.base) {
        await page.locator("#base-details summary").click();
        await page.locator("#base-file").setInputFiles(join(dir, "base.alg"));
      }
      if (c.requests.length === 0) {
        await page.locator("#test-record").click();
        await page.locator("#test-summary", { hasText: "Recorded" }).waitFor();
        assert.equal(await page.locator("#test-text").textContent() + "", expected, c.name);
      }

      // The stored file compared again: the same; after an edit: changed.
      await page.locator("#test-file").setInputFiles(join(dir, "question.test"));
      await page.locator("#test-run").click();
      await page.locator("#test-summary", { hasText: "ok: the 10 stored variants are the same." }).waitFor();
      const edited = c.algorithm.replace(...c.edit);
      await setText(page, "#editor", edited);
      await page.locator("#test-run").click();
      await page.locator("#test-summary", { hasText: "10 of 10 variants changed" }).waitFor();
      assert.ok((await page.locator("#test-text").textContent()).includes("  + " + c.added), c.name);

      // The downloaded file is what --update writes for the edited algorithm.
      writeFileSync(alg, edited);
      execFileSync(command, ["test", "--update", alg]);
      const [download] = await Promise.all([page.waitForEvent("download"), page.locator("#test-download").click()]);
      assert.equal(download.suggestedFilename(), "question.test");
      assert.equal(readFileSync(await download.path(), "utf8"), readFileSync(join(dir, "question.test"), "utf8"), c.name);
      assert.deepEqual(failures, []);
      await page.close();
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

// The student view: the grade document of the variant shown, its options in
// that variant's order, its math typeset, and each check's verdict.
test("the student view shows and checks the variant a student gets", async () => {
  const { page, failures } = await openPage();
  const algorithm = readFileSync(new URL("../../examples/q_choice.alg", import.meta.url), "utf8");
  const graded = (seed, responses) => page.evaluate(async (body) => {
    const response = await fetch("/v1/grade", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(body),
    });
    return response.json();
  }, { algorithm, seed, ...(responses ? { responses } : {}) });
  await setText(page, "#editor", algorithm);
  await page.locator("#variants tbody tr").nth(19).waitFor();
  await page.locator("#student-details summary").click();

  for (const step of ["start", "#seed-next"]) {
    if (step !== "start") await page.locator(step).click();
    await page.locator("#student fieldset.part").waitFor();
    await fresh(page);
    const seed = await shownSeed(page);
    const doc = await graded(seed);
    const options = doc.parts[0].options;
    assert.deepEqual(await page.locator("#student .option-text").allTextContents(), options, step);
    assert.ok(await page.locator("#student .prompt .katex").count() > 0, "the prompt's math is typeset");
    assert.equal(await page.locator("#student .math-error").count(), 0);

    const right = doc.parts[0].right_option - 1;
    const wrong = (right + 1) % options.length;
    for (const [pick, verdict] of [[wrong, "wrong"], [right, "right"]]) {
      await page.locator("#student input[type=radio]").nth(pick).check();
      await page.locator("#student button[type=submit]").click();
      await page.locator(`#student .verdict.${verdict}`).waitFor();
      await fresh(page);
      // The service's own verdict on that option's text agrees.
      const told = await graded(seed, [options[pick]]);
      assert.equal(told.verdicts[0].result, verdict, `${step}: option ${pick + 1}`);
    }
    assert.ok(await page.locator("#student .after .solution .katex").count() > 0, "the solution is typeset");
  }

  // An algorithm that declares no question says how to declare one.
  await setText(page, "#editor", "r_a|1|9\nq_b|a+1|0");
  await page.locator("#student p.hint", { hasText: "?prompt" }).waitFor();
  await fresh(page);
  assert.equal(await page.locator("#student").textContent(),
    "declare the question with ?prompt and its parts: docs/questions.md");
  assert.deepEqual(failures, []);
});
