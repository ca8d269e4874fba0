// The workbench as static files (build/wasm/site) behind a file server that
// answers every POST with 403, as many do: the page, as built or with no
// zekalg-engine setting, asks the server nothing and works on the module;
// "service-first" asks the server once and goes on with the module;
// "service" leaves the requests to the server (and shows its 403).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import path from "node:path";
import { launchChromium } from "./browser.mjs";
import { packageDir } from "./package.mjs";

const site = path.join(path.dirname(packageDir), "site");
const TYPES = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript; charset=utf-8",
  ".mjs": "text/javascript; charset=utf-8",
  ".css": "text/css; charset=utf-8",
  ".wasm": "application/wasm",
};
const SETTING = /<meta name="zekalg-engine" content="[^"]*">\n?/;

let server;
let browser;
let origin;
const posts = [];

before(async () => {
  const page = await readFile(path.join(site, "index.html"), "utf8");
  assert.match(page, SETTING, "the built page carries its zekalg-engine setting");
  // /as-built/ is the page as built; /none/ has no setting; /NAME/ has NAME.
  const pageFor = (setting) => {
    if (setting === "as-built") return page;
    if (setting === "none") return page.replace(SETTING, "");
    return page.replace(SETTING, `<meta name="zekalg-engine" content="${setting}">\n`);
  };
  server = createServer(async (request, response) => {
    const url = new URL(request.url, "http://localhost");
    if (request.method === "POST") {
      posts.push(url.pathname);
      request.resume();
      response.writeHead(403, { "content-type": "text/html" });
      response.end("<h1>403 Forbidden</h1>");
      return;
    }
    const [, setting, ...rest] = url.pathname.split("/");
    const name = rest.join("/") || "index.html";
    try {
      if (name === "index.html") {
        response.writeHead(200, { "content-type": TYPES[".html"] });
        response.end(pageFor(setting));
        return;
      }
      const file = path.join(site, path.normalize(name));
      if (!file.startsWith(site + path.sep)) throw new Error("outside the site");
      const body = await readFile(file);
      response.writeHead(200, { "content-type": TYPES[path.extname(file)] || "text/plain" });
      response.end(body);
    } catch {
      response.writeHead(404, { "content-type": "text/plain" });
      response.end("not found");
    }
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  await new Promise((resolve) => server?.close(resolve) ?? resolve());
});

// Line 3 defines nothing a lookup can reach (pi is reserved).
const ALGORITHM = "r_a|1|9\nq_sum|a+1|0\nk_pi|3";

const cases = [
  { setting: "as-built", posts: 0, works: true },
  { setting: "none", posts: 0, works: true },
  { setting: "module", posts: 0, works: true },
  // The first requests go out together; once one finds no service, none.
  { setting: "service-first", posts: "first", works: true },
  { setting: "service", posts: null, works: false },
];

for (const c of cases) {
  test(`zekalg-engine ${c.setting}`, async () => {
    posts.length = 0;
    const page = await browser.context.newPage();
    page.setDefaultTimeout(20000);
    const failures = [];
    page.on("pageerror", (error) => failures.push(error.message));
    try {
      await page.goto(`${origin}/${c.setting}/`);
      await page.locator("#editor").fill(ALGORITHM);
      await page.locator("#editor").dispatchEvent("input");
      if (c.works) {
        await page.locator('#gutter div.error[data-line="3"]').waitFor();
        await page.locator("#variants tbody tr").nth(9).waitFor();
        assert.match(await page.locator("#summary").textContent(), /\d+ made, 0 failed/);
        if (c.posts === "first") {
          const first = posts.length;
          assert.ok(first >= 1 && first <= 3, `POSTs: ${posts.join(", ")}`);
          await page.locator("#editor").fill(ALGORITHM.replace("a+1", "a+100"));
          await page.locator("#editor").dispatchEvent("input");
          await page.locator("#variants tbody td", { hasText: /^10[1-9]$/ }).first().waitFor();
          assert.equal(posts.length, first, `POSTs: ${posts.join(", ")}`);
        } else {
          assert.equal(posts.length, c.posts, `POSTs: ${posts.join(", ")}`);
        }
      } else {
        await page.locator("#status", { hasText: "HTTP 403" }).waitFor();
        assert.ok(posts.includes("/v1/check"), `POSTs: ${posts.join(", ")}`);
      }
      assert.deepEqual(failures, []);
    } finally {
      await page.close();
    }
  });
}
