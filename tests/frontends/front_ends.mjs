// What the front-end comparisons share: where the command, the Python
// interpreter and the JavaScript package are, and a service on a free
// loopback port.
//
//   ZEKALG=path/to/zekalg PYTHON=venv/bin/python ZEKALG_JS_PACKAGE=build/wasm/package
import { after } from "node:test";
import { spawn } from "node:child_process";
import path from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

export const root = fileURLToPath(new URL("../..", import.meta.url));
export const zekalgCommand = process.env.ZEKALG ?? path.join(root, "build/default/zekalg");
export const python = process.env.PYTHON ?? path.join(root, "build/python-venv/bin/python");
const packageDir = process.env.ZEKALG_JS_PACKAGE ?? path.join(root, "build/wasm/package");
export const js = await import(pathToFileURL(path.join(packageDir, "index.mjs")).href);
await js.load();

// `zekalg serve` with `args`, stopped when the tests end; its origin
// ("http://127.0.0.1:PORT").
export async function startService(args = []) {
  const service = spawn(zekalgCommand, ["serve", "--listen", "127.0.0.1:0", ...args], {
    stdio: ["ignore", "ignore", "pipe"],
  });
  after(() => service.kill("SIGTERM"));
  return new Promise((resolve, reject) => {
    let seen = "";
    service.stderr.on("data", (chunk) => {
      seen += chunk;
      const found = /listening on (http:\/\/[^/\s]+)\//.exec(seen);
      if (found) resolve(found[1]);
    });
    service.on("exit", (code) => reject(new Error(`zekalg serve exited (${code}): ${seen}`)));
  });
}
