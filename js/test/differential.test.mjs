// The random series of tests/differential/differential_host.c through the
// module, byte for byte the native library's: differential_wasm (the same
// host program built with Emscripten, build/wasm) runs its cases on the
// module's .wasm, and the native differential_host runs them on
// libzekalg.so and compares. ZEKALG_NATIVE_BUILD names the native build
// (default build/default), ZEKALG_DIFFERENTIAL_CASES the count (5000),
// ZEKALG_DIFFERENTIAL_SEED the series (1).
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import path from "node:path";
import { packageDir, root } from "./package.mjs";

const require = createRequire(import.meta.url);
const wasmBuild = path.dirname(packageDir);
const nativeBuild = path.resolve(root, process.env.ZEKALG_NATIVE_BUILD || "build/default");
const cases = process.env.ZEKALG_DIFFERENTIAL_CASES || "5000";
const series = process.env.ZEKALG_DIFFERENTIAL_SEED || "1";

test(`the random series ${series}, ${cases} cases, as the native library answers it`, async () => {
  const work = mkdtempSync(path.join(tmpdir(), "zekalg-wasm-"));
  try {
    const engine = await require(path.join(packageDir, "zekalg_engine.cjs"))({
      wasmBinary: readFileSync(path.join(packageDir, "zekalg_engine.wasm")),
    });
    const host = await require(path.join(wasmBuild, "differential_wasm.cjs"))({
      engine,
      wasmBinary: readFileSync(path.join(wasmBuild, "differential_wasm.wasm")),
    });
    const wasmOut = path.join(work, "wasm.txt");
    const nativeOut = path.join(work, "native.txt");
    assert.equal(host.callMain(["run", "module", series, "1", cases, wasmOut]), 0);
    const native = path.join(nativeBuild, "tests/differential_host");
    execFileSync(native, ["run", path.join(nativeBuild, "libzekalg.so"), series, "1", cases,
      nativeOut]);
    const compared = spawnSync(native, ["compare", nativeOut, wasmOut], { encoding: "utf8" });
    assert.equal(compared.status, 0, compared.stdout + compared.stderr);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
