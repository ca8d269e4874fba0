// The workbench in a real browser (Debian's headless Chromium, driven by
// playwright-core), served by a running `zekalg serve` on loopback: an author
// types an algorithm, sees its diagnostics and variants, opens a variant by
// its seed, solves a request in it, and brings the view back from the URL.
//
// ZEKALG names the command (default: build/default/zekalg), CHROMIUM the
// browser (default: /usr/bin/chromium).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
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
