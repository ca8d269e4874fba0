// The package under test: build/wasm/package (scripts/build-wasm.sh makes
// it), or the folder ZEKALG_JS_PACKAGE names.
import { fileURLToPath, pathToFileURL } from "node:url";
import path from "node:path";

export const root = fileURLToPath(new URL("../..", import.meta.url));
export const packageDir = process.env.ZEKALG_JS_PACKAGE || path.join(root, "build/wasm/package");
export const zekalg = await import(pathToFileURL(path.join(packageDir, "index.mjs")).href);
await zekalg.load();
