// The package as a project gets it: `npm pack` in js/ (which builds it),
// the tarball installed into a fresh project, and there the host examples
// of README.md and js/README.md run as written, each shown result checked,
// and the types checked by a plain `tsc --target es2022`.
//
// An example is a fenced `js` block of js/README.md, or the indented block
// after README.md's "In JavaScript" paragraph. It runs as an ES module, or
// as CommonJS when its first line is a comment naming a .cjs file. A line
// `EXPRESSION; // VALUE` checks that EXPRESSION gives VALUE, when the
// comment starts with a JavaScript literal (a string, number, object or
// array); what follows a ":" after the literal is prose. ZEKALG_EXAMPLE_NODE
// names another Node binary to run the examples with (default: this one).
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { root } from "./package.mjs";

const jsDir = path.join(root, "js");
const exampleNode = process.env.ZEKALG_EXAMPLE_NODE || process.execPath;
const manifest = JSON.parse(readFileSync(path.join(jsDir, "package.json"), "utf8"));

// ---- the examples, as the documents write them ----

function fencedBlocks(file) {
  const lines = readFileSync(path.join(root, file), "utf8").split("\n");
  const blocks = [];
  for (let i = 0; i < lines.length; ++i) {
    if (lines[i].trim() !== "```js") continue;
    const start = i + 1;
    while (++i < lines.length && lines[i].trim() !== "```");
    blocks.push({ file, line: start + 1, text: lines.slice(start, i).join("\n") });
  }
  return blocks;
}

function indentedBlockAfter(file, lead) {
  const lines = readFileSync(path.join(root, file), "utf8").split("\n");
  let i = lines.findIndex((line) => line.startsWith(lead));
  assert.ok(i >= 0, `${file} has no paragraph starting "${lead}"`);
  while (i < lines.length && lines[i].trim() !== "") ++i;
  while (i < lines.length && lines[i].trim() === "") ++i;
  const start = i;
  while (i < lines.length && (lines[i].startsWith("    ") || lines[i].trim() === "")) ++i;
  while (i > start && lines[i - 1].trim() === "") --i;
  assert.ok(i > start, `${file}: no indented block after "${lead}"`);
  const text = lines.slice(start, i).map((line) => line.slice(4)).join("\n");
  return { file, line: start + 1, text };
}

// The literal a result comment starts with, or undefined.
function shownValue(comment) {
  if (!/^["'{[\-0-9]|^(true|false|null)\b/.test(comment)) return undefined;
  const ends = [comment.length];
  for (let at = comment.lastIndexOf(":"); at > 0; at = comment.lastIndexOf(":", at - 1)) {
    ends.push(at);
  }
  for (const end of ends) {
    const candidate = comment.slice(0, end).trim();
    try {
      new Function(`return (${candidate});`)();
      return candidate;
    } catch {
      // prose after the literal: try a shorter prefix
    }
  }
  return undefined;
}

// The example as a program: result comments become checks.
function runnable({ file, line, text }) {
  const commonjs = /^\/\/ \S+\.cjs\b/.test(text);
  let checks = 0;
  const body = text.split("\n").map((source, index) => {
    const match = /^(\s*)(.*?);\s*\/\/\s*(.*)$/.exec(source);
    const value = match ? shownValue(match[3]) : undefined;
    if (value === undefined || /^(const|let|var|return)\b/.test(match[2])) return source;
    ++checks;
    const where = JSON.stringify(`${file}:${line + index}`);
    return `${match[1]}__docEqual(${match[2]}, ${value}, ${where});`;
  });
  const preamble = commonjs
    ? 'const { deepStrictEqual: __docEqual } = require("node:assert/strict");'
    : 'import { deepStrictEqual as __docEqual } from "node:assert/strict";';
  return { name: commonjs ? "example.cjs" : "example.mjs", text: [preamble, ...body].join("\n") + "\n",
    checks };
}

const examples = [
  indentedBlockAfter("README.md", "In JavaScript"),
  ...fencedBlocks("js/README.md"),
];

// ---- the consumer's project ----

let project = null;
let tarball = null;
const work = mkdtempSync(path.join(tmpdir(), "zekalg-consumer-"));
process.on("exit", () => rmSync(work, { recursive: true, force: true }));

function consumerProject() {
  if (project !== null) return project;
  // As the README says: `npm pack` in js/, whose prepack builds the package.
  execFileSync("npm", ["pack", "--pack-destination", work, "--loglevel=error"],
    { cwd: jsDir, stdio: ["ignore", "ignore", "inherit"], timeout: 900_000 });
  const made = readdirSync(work).filter((name) => name.endsWith(".tgz"));
  assert.deepEqual(made, [`zekalg-${manifest.version}.tgz`]);
  tarball = path.join(work, made[0]);
  project = path.join(work, "project");
  mkdirSync(project);
  writeFileSync(path.join(project, "package.json"),
    JSON.stringify({ name: "consumer", private: true, type: "module" }, null, 2));
  execFileSync("npm", ["install", "--no-audit", "--no-fund", "--loglevel=error", tarball],
    { cwd: project, stdio: ["ignore", "ignore", "inherit"], timeout: 120_000 });
  return project;
}

test("npm pack in js/ gives a tarball of the package's files", () => {
  consumerProject();
  const listed = execFileSync("tar", ["-tzf", tarball], { encoding: "utf8" })
    .trim().split("\n").map((name) => name.replace(/^package\//, "")).sort();
  assert.deepEqual(listed, [...manifest.files, "package.json"].sort());
});

for (const example of examples) {
  test(`${example.file}:${example.line}: the example runs in a project that installed the tarball`,
    () => {
      const dir = consumerProject();
      const { name, text, checks } = runnable(example);
      writeFileSync(path.join(dir, name), text);
      const ran = spawnSync(exampleNode, [name], { cwd: dir, encoding: "utf8",
        timeout: 60_000 });
      assert.equal(ran.status, 0, `${example.file}:${example.line} (${checks} results checked)\n` +
        `${ran.stdout}${ran.stderr}`);
    });
}

test("the first README examples show results, and the checks read them", () => {
  for (const example of examples.slice(0, 2)) assert.ok(runnable(example).checks > 0, example.file);
  assert.equal(shownValue('"–2": results write minus as the en dash'), '"–2"');
  assert.equal(shownValue("0: the diagnostics of `zekalg check`"), "0");
  assert.equal(shownValue('{ a: "2", sq: "4" }'), '{ a: "2", sq: "4" }');
  assert.equal(shownValue("the document of `zekalg sample`"), undefined);
});

// A TypeScript consumer: the package's types under a plain ES2022 target,
// without skipLibCheck, with disposal through the symbol `using` calls.
const consumerTypes = `import { load, Environment, sample, AlgorithmError, SolveError } from "zekalg";
import type { VariantDocument } from "zekalg";

const zekalg = await load();
const env: Environment = new zekalg.Environment("r_a|1|9\\nq_sq|a^2|0", { seed: 2026 });
const sq: string = env.solve("sq");
const all: Record<string, string> = env.solveAll();
env[Symbol.dispose]();
const made: number = sample("r_a|1|9", 3, { seed: 1n }).summary.made;
let shown: VariantDocument | null = null;
try {
  new Environment("q_x|1/0\\nc_ok|x>0");
} catch (error) {
  if (error instanceof AlgorithmError) shown = null;
  else if (error instanceof SolveError) shown = null;
}
export { sq, all, made, shown };
`;

test("the types check in a TypeScript project with --target es2022", () => {
  const dir = consumerProject();
  writeFileSync(path.join(dir, "consumer.mts"), consumerTypes);
  const tsc = path.join(root, "js/test/node_modules/typescript/bin/tsc");
  const checked = spawnSync(process.execPath, [tsc, "--noEmit", "--strict", "--target", "es2022",
    "--module", "nodenext", "consumer.mts"], { cwd: dir, encoding: "utf8", timeout: 120_000 });
  assert.equal(checked.status, 0, checked.stdout + checked.stderr);
});
