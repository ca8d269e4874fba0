// Complete variants (seed, create, solve every variable, kill) of each
// examples/*.alg, side by side in one run: the native library (through
// variants_native.c, compiled here against ZEKALG_NATIVE_BUILD, default
// build/default), the WebAssembly module's C functions called from
// JavaScript, and the package's Environment. The same seeds each way; the
// total length of the results must agree. Each way runs COUNT variants a
// file in each of five rounds and keeps its fastest round.
//   node js/bench/variants.mjs [COUNT]     (default 20000)
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const root = fileURLToPath(new URL("../..", import.meta.url));
const packageDir = process.env.ZEKALG_JS_PACKAGE || path.join(root, "build/wasm/package");
const nativeBuild = path.resolve(root, process.env.ZEKALG_NATIVE_BUILD || "build/default");
const count = Number(process.argv[2] || 20000);
const ROUNDS = 5;

const zekalg = await import(pathToFileURL(path.join(packageDir, "index.mjs")).href);
const { Algorithm } = await import(pathToFileURL(path.join(packageDir, "text.mjs")).href);
await zekalg.load();
const module = await createRequire(import.meta.url)(path.join(packageDir, "zekalg_engine.cjs"))({
  wasmBinary: readFileSync(path.join(packageDir, "zekalg_engine.wasm")),
});

const work = mkdtempSync(path.join(tmpdir(), "zekalg-bench-"));
const native = path.join(work, "variants_native");
execFileSync("cc", ["-O2", "-o", native, path.join(root, "js/bench/variants_native.c"),
  "-I", path.join(root, "include"), "-L", nativeBuild, `-Wl,-rpath,${nativeBuild}`, "-lzekalg"]);

const seedOf = (i) => Number((BigInt(i + 1) * 2654435761n) & 0xffffffffn) | 0;

// The module's C functions, as the package calls them but without its
// objects and text conversion.
function moduleLoop(data, names) {
  const text = (bytes) => {
    const p = module._malloc(bytes.length + 1);
    module.HEAPU8.set(bytes, p);
    module.HEAPU8[p + bytes.length] = 0;
    return p;
  };
  const algorithm = text(data);
  const requests = names.map((name) => text(new Algorithm(name).data));
  const size = 1 << 16;
  const buffer = module._malloc(size);
  const length = module._malloc(4);
  let total = 0;
  const start = performance.now();
  for (let i = 0; i < count; ++i) {
    module._zekalg_seed_environment(seedOf(i));
    module.HEAP32[length >> 2] = size;
    const id = module._zekalg_create_environment(0, algorithm, buffer, length);
    if (id <= 0) throw new Error("creation failed");
    for (const request of requests) {
      module.HEAP32[length >> 2] = size;
      if (module._zekalg_solve_var(id, request, buffer, length) !== 0) throw new Error("solve failed");
      total += module.HEAP32[length >> 2];
    }
    module._zekalg_kill_environment(id);
  }
  const seconds = (performance.now() - start) / 1000;
  for (const p of [algorithm, ...requests, buffer, length]) module._free(p);
  return [seconds, total];
}

function packageLoop(text) {
  let total = 0;
  const start = performance.now();
  for (let i = 0; i < count; ++i) {
    const env = new zekalg.Environment(text, { seed: seedOf(i) });
    for (const value of Object.values(env.solveAll())) total += value.length;
    env.dispose();
  }
  return [(performance.now() - start) / 1000, total];
}

const examples = path.join(root, "examples");
const rows = [];
try {
  for (const file of readdirSync(examples).filter((f) => f.endsWith(".alg")).sort()) {
    const text = readFileSync(path.join(examples, file), "utf8");
    const algorithm = new Algorithm(text);
    writeFileSync(path.join(work, "algorithm"), algorithm.data);
    // A first round warms each up (the module's code is compiled lazily).
    // Then the three take turns, and each keeps its fastest of the rounds:
    // the machine's other work slows a round down, never speeds it up.
    packageLoop(text);
    const best = { native: Infinity, module: Infinity, package: Infinity };
    for (let round = 0; round < ROUNDS; ++round) {
      const [nativeSeconds, nativeTotal] = execFileSync(native,
        [path.join(work, "algorithm"), String(count), ...algorithm.names], { encoding: "latin1" })
        .trim().split(" ").map(Number);
      const [moduleSeconds, moduleTotal] = moduleLoop(algorithm.data, algorithm.names);
      const [packageSeconds, packageTotal] = packageLoop(text);
      if (moduleTotal !== nativeTotal || packageTotal !== nativeTotal) {
        throw new Error(`${file}: results differ (${nativeTotal}, ${moduleTotal}, ${packageTotal})`);
      }
      best.native = Math.min(best.native, nativeSeconds);
      best.module = Math.min(best.module, moduleSeconds);
      best.package = Math.min(best.package, packageSeconds);
    }
    rows.push({ file, ...best });
  }
} finally {
  rmSync(work, { recursive: true, force: true });
}

const us = (seconds) => ((seconds / count) * 1e6).toFixed(1).padStart(8);
console.log(`${count} variants a file, fastest of ${ROUNDS} rounds; ` +
  "microseconds a variant, and the ratio to native");
console.log("file                   native   module  (ratio)  package  (ratio)");
for (const r of rows) {
  console.log(`${r.file.padEnd(20)} ${us(r.native)} ${us(r.module)} ` +
    `(${(r.module / r.native).toFixed(2)}x) ${us(r.package)} (${(r.package / r.native).toFixed(2)}x)`);
}
const sum = (key) => rows.reduce((s, r) => s + r[key], 0);
console.log(`${"all".padEnd(20)} ${us(sum("native"))} ${us(sum("module"))} ` +
  `(${(sum("module") / sum("native")).toFixed(2)}x) ${us(sum("package"))} ` +
  `(${(sum("package") / sum("native")).toFixed(2)}x)`);
console.log(`zekalg_engine.wasm: ${readFileSync(path.join(packageDir, "zekalg_engine.wasm")).length} bytes`);
